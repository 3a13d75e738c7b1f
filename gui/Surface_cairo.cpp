#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "gui/Surface.h"

namespace qgui {

namespace {

int64_t liveBytes = 0;

int64_t bytesOf(cairo_surface_t* s) {
    return static_cast<int64_t>(cairo_image_surface_get_width(s)) *
           cairo_image_surface_get_height(s) * 4;
}

NativeSurface* counted(cairo_surface_t* s) {
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    liveBytes += bytesOf(s);
    return s;
}

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

}  // namespace

NativeSurface* createSurface(int width, int height) {
    return counted(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, width), std::max(1, height)));
}

NativeSurface* decodePngSurface(const unsigned char* png, size_t size) {
    if (!png) return nullptr;
    PngReader reader{png, size, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS &&
        cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32) {
        // Opaque PNGs decode to RGB24: the toolkit's images are ARGB32 throughout.
        cairo_surface_t* argb =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(s),
                                       cairo_image_surface_get_height(s));
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
        s = argb;
    }
    return counted(s);
}

void releaseSurface(NativeSurface* surface) {
    if (!surface) return;
    liveBytes -= bytesOf(surface);
    cairo_surface_destroy(surface);
}

void copySurfaceRect(NativeSurface* to, int tx, int ty, NativeSurface* from, int fx, int fy, int w,
                     int h) {
    cairo_surface_flush(from);
    cairo_surface_flush(to);
    const int fromStride = cairo_image_surface_get_stride(from);
    const int toStride = cairo_image_surface_get_stride(to);
    const unsigned char* src = cairo_image_surface_get_data(from) + fy * fromStride + fx * 4;
    unsigned char* dst = cairo_image_surface_get_data(to) + ty * toStride + tx * 4;
    for (int y = 0; y < h; ++y)
        std::memcpy(dst + y * toStride, src + y * fromStride, static_cast<size_t>(w) * 4);
    cairo_surface_mark_dirty(to);
}

int64_t liveSurfaceBytes() {
    return liveBytes;
}

int surfaceWidth(NativeSurface* surface) {
    return surface ? cairo_image_surface_get_width(surface) : 0;
}

int surfaceHeight(NativeSurface* surface) {
    return surface ? cairo_image_surface_get_height(surface) : 0;
}

SurfacePixel surfacePixel(NativeSurface* s, int x, int y) {
    if (!s || x < 0 || y < 0 || x >= surfaceWidth(s) || y >= surfaceHeight(s)) return {0, 0, 0, 0};
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const uint32_t v = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    const int a = static_cast<int>(v >> 24);
    auto un = [a](uint32_t c) { return a ? static_cast<int>((c * 255 + a / 2) / a) : 0; };
    return {un((v >> 16) & 0xff), un((v >> 8) & 0xff), un(v & 0xff), a};
}

bool writeSurfacePng(NativeSurface* surface, const char* path) {
    return surface && path && cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
}

}  // namespace qgui
