// Scale factors of the editors: device pixels per design pixel. The editors draw at the steps
// below; a factor from a host or from the system snaps to the nearest step, so design pixel edges
// fall on device pixel edges at least every fourth design pixel and one-pixel lines stay sharp
// (an in-between factor would blur every edge). Where the factor comes from, first that applies:
// the user's choice, the host's request, the system's setting for the window, else 100 %.
// Pure functions except systemFactor; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qgui::scale {

inline constexpr double kSteps[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
inline constexpr size_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// The step nearest to `factor` (the larger of two as near); 0 for no factor (0, negative, not a
// number). Factors beyond the steps take the first or last step.
double snap(double factor);
// The factor the editor draws at: the first of `user`, `host`, `system` that is a factor, snapped;
// 1 when none is.
double choose(double user, double host, double system);

// The factor an X server's resource database (the RESOURCE_MANAGER text, as `xrdb` sets it) asks
// for: Xft.dpi / 96; 0 when the text is null or has no usable Xft.dpi.
double fromXResources(const char* resources);
// The factor the toolkits' environment variables ask for: GDK_SCALE (a whole number) first,
// then QT_SCALE_FACTOR; 0 when neither is set to a factor. Null means unset.
double fromEnvironment(const char* gdkScale, const char* qtScaleFactor);
// dots per inch / 96; 0 for no DPI.
double fromDpi(double dpi);

// The system's factor for windows inside `window` (an X11 window id or an HWND; 0: the display's
// default): on X11 the display's Xft.dpi, else the environment; on Windows the DPI the window is
// shown at. 0 when the system says nothing. User-interface thread.
double systemFactor(std::uintptr_t window);

}  // namespace qgui::scale
