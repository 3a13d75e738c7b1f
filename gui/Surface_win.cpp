// Images as GDI+ bitmaps in premultiplied 32-bit ARGB (Windows).
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "gui/Surface.h"
#include "gui/win/Gdiplus.h"
#include "platform/WinText.h"

// After <windows.h> (Gdiplus.h).
#include <shlwapi.h>

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

namespace {

int64_t liveBytes = 0;

int64_t bytesOf(NativeSurface* s) {
    return static_cast<int64_t>(s->GetWidth()) * s->GetHeight() * 4;
}

}  // namespace

NativeSurface* createSurface(int width, int height) {
    if (!win::startGdiplus()) return nullptr;
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(std::max(1, width), std::max(1, height),
                                                    PixelFormat32bppPARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    {
        Gdiplus::Graphics g(bitmap.get());
        g.Clear(Gdiplus::Color(0, 0, 0, 0));
    }
    liveBytes += bytesOf(bitmap.get());
    return bitmap.release();
}

NativeSurface* decodePngSurface(const unsigned char* png, size_t size) {
    if (!png || !win::startGdiplus() || size > 0xffffffffu) return nullptr;
    IStream* stream = SHCreateMemStream(png, static_cast<UINT>(size));
    if (!stream) return nullptr;
    // The PNG as an image of its own in premultiplied ARGB, independent of the bytes it came from.
    std::unique_ptr<Gdiplus::Bitmap> file(Gdiplus::Bitmap::FromStream(stream));
    NativeSurface* image = nullptr;
    if (file && file->GetLastStatus() == Gdiplus::Ok) {
        const Gdiplus::Rect all(0, 0, static_cast<INT>(file->GetWidth()),
                                static_cast<INT>(file->GetHeight()));
        NativeSurface* copy = createSurface(all.Width, all.Height);
        Gdiplus::BitmapData from{}, to{};
        if (copy && file->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB,
                                   &from) == Gdiplus::Ok) {
            if (copy->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &to) ==
                Gdiplus::Ok) {
                for (INT y = 0; y < all.Height; ++y)
                    std::memcpy(static_cast<unsigned char*>(to.Scan0) + y * to.Stride,
                                static_cast<const unsigned char*>(from.Scan0) + y * from.Stride,
                                static_cast<size_t>(all.Width) * 4);
                copy->UnlockBits(&to);
                image = copy;
                copy = nullptr;
            }
            file->UnlockBits(&from);
        }
        releaseSurface(copy);
    }
    file.reset();
    stream->Release();
    return image;
}

void releaseSurface(NativeSurface* surface) {
    if (!surface) return;
    liveBytes -= bytesOf(surface);
    delete surface;
}

void copySurfaceRect(NativeSurface* to, int tx, int ty, NativeSurface* from, int fx, int fy, int w,
                     int h) {
    const Gdiplus::Rect source(fx, fy, w, h), target(tx, ty, w, h);
    Gdiplus::BitmapData in{}, out{};
    if (from->LockBits(&source, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &in) !=
        Gdiplus::Ok)
        return;
    if (to->LockBits(&target, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &out) ==
        Gdiplus::Ok) {
        for (int y = 0; y < h; ++y)
            std::memcpy(static_cast<unsigned char*>(out.Scan0) + y * out.Stride,
                        static_cast<const unsigned char*>(in.Scan0) + y * in.Stride,
                        static_cast<size_t>(w) * 4);
        to->UnlockBits(&out);
    }
    from->UnlockBits(&in);
}

int64_t liveSurfaceBytes() {
    return liveBytes;
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
