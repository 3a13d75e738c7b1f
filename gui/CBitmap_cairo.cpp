// CBitmap's images as cairo image surfaces (Linux).
#include <cairo.h>

#include <cstring>
#include <map>
#include <utility>

#include "gui/CBitmap.h"
#include "gui/EmbeddedImages.h"

namespace qgui {

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (length > r->size - r->pos) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

// Decoded images shared by every bitmap of the same image while at least one of them lives, so
// several open editors hold one copy. The cache holds no reference of its own.
using ImageKey = std::pair<const EmbeddedImageTable*, int32_t>;
std::map<ImageKey, cairo_surface_t*>& decodedImages() {
    static std::map<ImageKey, cairo_surface_t*> images;
    return images;
}

}  // namespace

CBitmap::CBitmap(int32_t id) : resourceId(id) {
    const EmbeddedImage* image = findEmbeddedImage(id);
    if (!image) return;
    const ImageKey key{embeddedImages(), id};
    auto cached = decodedImages().find(key);
    cairo_surface_t* s = nullptr;
    if (cached != decodedImages().end()) {
        s = cairo_surface_reference(cached->second);
    } else {
        PngReader reader{image->png, image->size, 0};
        s = cairo_image_surface_create_from_png_stream(readPng, &reader);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            return;
        }
        decodedImages()[key] = s;
    }
    surface = s;
    width = cairo_image_surface_get_width(s);
    height = cairo_image_surface_get_height(s);
}

CBitmap::CBitmap(CCoord w, CCoord h) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return;
    }
    surface = s;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
}

CBitmap::~CBitmap() {
    if (!surface) return;
    if (resourceId >= 0 && cairo_surface_get_reference_count(surface) == 1) {
        auto& images = decodedImages();
        for (auto it = images.begin(); it != images.end(); ++it)
            if (it->second == surface) {
                images.erase(it);
                break;
            }
    }
    cairo_surface_destroy(surface);
}

}  // namespace qgui
