// The image and drawing-state types of the cairo build (Linux): images are ARGB32 image surfaces.
// Selected by gui/CMakeLists.txt through the include path; gui/win/ has the Windows counterpart.
#pragma once

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace qgui {

using NativeSurface = cairo_surface_t;
using NativeContext = cairo_t;

}  // namespace qgui
