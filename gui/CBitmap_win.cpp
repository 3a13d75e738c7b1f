// CBitmap's images as GDI+ bitmaps (Windows), decoded from the embedded PNG files.
#include <shlwapi.h>

#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "gui/CBitmap.h"
#include "gui/EmbeddedImages.h"
#include "gui/win/Gdiplus.h"

namespace qgui {

namespace {

// Decoded images shared by every bitmap of the same image while at least one of them lives, so
// several open editors hold one copy; `holders` counts those bitmaps.
struct Decoded {
    Gdiplus::Bitmap* bitmap;
    int holders;
};
using ImageKey = std::pair<const EmbeddedImageTable*, int32_t>;
std::map<ImageKey, Decoded>& decodedImages() {
    static std::map<ImageKey, Decoded> images;
    return images;
}

// The PNG as an image of its own in premultiplied ARGB, independent of the bytes it came from.
Gdiplus::Bitmap* decodePng(const unsigned char* png, size_t size) {
    if (!win::startGdiplus() || size > 0xffffffffu) return nullptr;
    IStream* stream = SHCreateMemStream(png, static_cast<UINT>(size));
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> file(Gdiplus::Bitmap::FromStream(stream));
    Gdiplus::Bitmap* image = nullptr;
    if (file && file->GetLastStatus() == Gdiplus::Ok) {
        const Gdiplus::Rect all(0, 0, static_cast<INT>(file->GetWidth()),
                                static_cast<INT>(file->GetHeight()));
        auto copy = std::make_unique<Gdiplus::Bitmap>(all.Width, all.Height, PixelFormat32bppPARGB);
        Gdiplus::BitmapData from{}, to{};
        if (copy->GetLastStatus() == Gdiplus::Ok &&
            file->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &from) ==
                Gdiplus::Ok) {
            if (copy->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &to) ==
                Gdiplus::Ok) {
                for (INT y = 0; y < all.Height; ++y)
                    std::memcpy(static_cast<unsigned char*>(to.Scan0) + y * to.Stride,
                                static_cast<const unsigned char*>(from.Scan0) + y * from.Stride,
                                static_cast<size_t>(all.Width) * 4);
                copy->UnlockBits(&to);
                image = copy.release();
            }
            file->UnlockBits(&from);
        }
    }
    file.reset();
    stream->Release();
    return image;
}

}  // namespace

CBitmap::CBitmap(int32_t id) : resourceId(id) {
    const EmbeddedImage* image = findEmbeddedImage(id);
    if (!image) return;
    const ImageKey key{embeddedImages(), id};
    auto cached = decodedImages().find(key);
    if (cached != decodedImages().end()) {
        ++cached->second.holders;
        surface = cached->second.bitmap;
    } else {
        surface = decodePng(image->png, image->size);
        if (!surface) return;
        decodedImages()[key] = {surface, 1};
    }
    width = surface->GetWidth();
    height = surface->GetHeight();
}

CBitmap::CBitmap(CCoord w, CCoord h) {
    if (w < 1 || h < 1) return;
    surface = createSurface(static_cast<int>(w), static_cast<int>(h));
    if (!surface) return;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
}

CBitmap::~CBitmap() {
    if (!surface) return;
    if (resourceId >= 0) {
        auto& images = decodedImages();
        for (auto it = images.begin(); it != images.end(); ++it)
            if (it->second.bitmap == surface) {
                if (--it->second.holders > 0) return;
                images.erase(it);
                break;
            }
    }
    releaseSurface(surface);
}

}  // namespace qgui
