#include <cairo.h>

#include <algorithm>

#include "gui/Surface.h"

namespace qgui {

NativeSurface* createSurface(int width, int height) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, width), std::max(1, height));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

void releaseSurface(NativeSurface* surface) {
    if (surface) cairo_surface_destroy(surface);
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
