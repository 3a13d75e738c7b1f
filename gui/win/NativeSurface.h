// The image and drawing-state types of the Windows build: images are GDI+ bitmaps in
// premultiplied 32-bit ARGB. Selected by gui/CMakeLists.txt through the include path; gui/cairo/
// has the Linux counterpart. Declares the GDI+ classes only (no <windows.h> here).
#pragma once

namespace Gdiplus {
class Bitmap;
class Graphics;
}  // namespace Gdiplus

namespace qgui {

using NativeSurface = Gdiplus::Bitmap;
using NativeContext = Gdiplus::Graphics;

}  // namespace qgui
