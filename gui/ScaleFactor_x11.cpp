// The system's scale factor on X11: the Xft.dpi resource of the display (as desktops and xrdb
// set it), else the toolkits' environment variables.
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cstdlib>
#include <mutex>

#include "gui/ScaleFactor.h"

namespace qgui::scale {

double fromXResources(const char* resources) {
    if (!resources) return 0;
    static std::once_flag initialised;
    std::call_once(initialised, XrmInitialize);
    XrmDatabase db = XrmGetStringDatabase(resources);
    if (!db) return 0;
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0;
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        char* end = nullptr;
        dpi = std::strtod(value.addr, &end);
        if (end == value.addr) dpi = 0;
    }
    XrmDestroyDatabase(db);
    return fromDpi(dpi);
}

double systemFactor(std::uintptr_t) {
    double factor = 0;
    // The host's windows are on the default display; its resources are read as the connection
    // opens.
    if (Display* display = XOpenDisplay(nullptr)) {
        factor = fromXResources(XResourceManagerString(display));
        XCloseDisplay(display);
    }
    if (factor > 0) return factor;
    return fromEnvironment(std::getenv("GDK_SCALE"), std::getenv("QT_SCALE_FACTOR"));
}

}  // namespace qgui::scale
