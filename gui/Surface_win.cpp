// Images as GDI+ bitmaps in premultiplied 32-bit ARGB (Windows).
#include <algorithm>
#include <memory>
#include <vector>

#include "gui/Surface.h"
#include "gui/win/Gdiplus.h"
#include "platform/WinText.h"

namespace qgui {

namespace win {

bool startGdiplus() {
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

bool pngEncoder(CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<unsigned char> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (codecs[i].MimeType && std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

std::wstring wide(const char* utf8) {
    return platform::widen(std::string(utf8 ? utf8 : ""));
}

}  // namespace win

NativeSurface* createSurface(int width, int height) {
    if (!win::startGdiplus()) return nullptr;
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(std::max(1, width), std::max(1, height),
                                                    PixelFormat32bppPARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Graphics g(bitmap.get());
    g.Clear(Gdiplus::Color(0, 0, 0, 0));
    return bitmap.release();
}

void releaseSurface(NativeSurface* surface) {
    delete surface;
}

int surfaceWidth(NativeSurface* surface) {
    return surface ? static_cast<int>(surface->GetWidth()) : 0;
}

int surfaceHeight(NativeSurface* surface) {
    return surface ? static_cast<int>(surface->GetHeight()) : 0;
}

SurfacePixel surfacePixel(NativeSurface* s, int x, int y) {
    if (!s || x < 0 || y < 0 || x >= surfaceWidth(s) || y >= surfaceHeight(s)) return {0, 0, 0, 0};
    Gdiplus::Rect one(x, y, 1, 1);
    Gdiplus::BitmapData data{};
    if (s->LockBits(&one, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return {0, 0, 0, 0};
    const uint32_t v = *static_cast<const uint32_t*>(data.Scan0);
    s->UnlockBits(&data);
    const int a = static_cast<int>(v >> 24);
    auto un = [a](uint32_t c) { return a ? static_cast<int>((c * 255 + a / 2) / a) : 0; };
    return {un((v >> 16) & 0xff), un((v >> 8) & 0xff), un(v & 0xff), a};
}

bool writeSurfacePng(NativeSurface* surface, const char* path) {
    CLSID png;
    if (!surface || !path || !win::pngEncoder(png)) return false;
    // The encoder writes straight (not premultiplied) alpha.
    Gdiplus::Rect all(0, 0, surfaceWidth(surface), surfaceHeight(surface));
    std::unique_ptr<Gdiplus::Bitmap> straight(surface->Clone(all, PixelFormat32bppARGB));
    if (!straight || straight->GetLastStatus() != Gdiplus::Ok) return false;
    return straight->Save(win::wide(path).c_str(), &png, nullptr) == Gdiplus::Ok;
}

}  // namespace qgui
