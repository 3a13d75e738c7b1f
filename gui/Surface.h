// Images of the toolkit independent of the drawing library: a transparent image of a size, PNG
// in and out, pixels, rectangles copied between images. The frame's offscreen image, bitmaps and
// the tests use these. Every image made here is counted until it is released (the bytes of
// image memory the toolkit holds). User-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "NativeSurface.h"

namespace qgui {

// The un-premultiplied colour of one pixel.
struct SurfacePixel {
    int r, g, b, a;
};

// A transparent image of width x height pixels (at least 1 x 1); null when it cannot be made.
NativeSurface* createSurface(int width, int height);
// The image a PNG file's bytes decode to (premultiplied ARGB); null when they are no PNG.
NativeSurface* decodePngSurface(const unsigned char* png, size_t size);
// Gives up the caller's hold on `surface` (null is ignored).
void releaseSurface(NativeSurface* surface);
// Copies the pixels of a w x h rectangle at (fx, fy) of `from` to (tx, ty) of `to`, replacing
// what was there; both rectangles must lie inside their images.
void copySurfaceRect(NativeSurface* to, int tx, int ty, NativeSurface* from, int fx, int fy, int w,
                     int h);
// Bytes of image memory held by the images made here and not yet released (4 per pixel).
int64_t liveSurfaceBytes();
int surfaceWidth(NativeSurface* surface);
int surfaceHeight(NativeSurface* surface);
// Pixel (x, y); transparent black outside the image.
SurfacePixel surfacePixel(NativeSurface* surface, int x, int y);
// Writes the image as a PNG file with alpha; false on any failure.
bool writeSurfacePng(NativeSurface* surface, const char* path);

}  // namespace qgui
