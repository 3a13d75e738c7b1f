// Images of the toolkit independent of the drawing library: a transparent image of a size, its
// pixels, PNG out. The frame's offscreen image, empty bitmaps and the tests use these.
// User-interface thread.
#pragma once

#include <cstdint>

#include "NativeSurface.h"

namespace qgui {

// The un-premultiplied colour of one pixel.
struct SurfacePixel {
    int r, g, b, a;
};

// A transparent image of width x height pixels (at least 1 x 1); null when it cannot be made.
NativeSurface* createSurface(int width, int height);
// Gives up the caller's hold on `surface` (null is ignored).
void releaseSurface(NativeSurface* surface);
int surfaceWidth(NativeSurface* surface);
int surfaceHeight(NativeSurface* surface);
// Pixel (x, y); transparent black outside the image.
SurfacePixel surfacePixel(NativeSurface* surface, int x, int y);
// Writes the image as a PNG file with alpha; false on any failure.
bool writeSurfacePng(NativeSurface* surface, const char* path);

}  // namespace qgui
