// The skin images compiled into a plug-in library, by resource id, each drawn at one or more
// densities (image pixels per design pixel: 1, 2 and 3). The generated skin source of each
// plug-in (tools/skingen) defines one table and registers it when the library is loaded;
// CBitmap(resourceId) looks ids up here. Loader thread and user-interface thread.
//
// A film strip stacks `frames` frames of width x height / frames design pixels vertically. It is
// stored as tiles of `framesPerTile` frames (the last tile may hold fewer), each tile a PNG file
// holding its frames side by side, so a bitmap decodes only the tiles of the frames it draws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qgui {

struct EmbeddedTile {
    const unsigned char* png;  // PNG file bytes
    size_t size;
};

struct EmbeddedImage {
    int32_t id;
    int32_t density;        // image pixels per design pixel
    int32_t width, height;  // design pixels, of the whole strip
    int32_t frames;
    int32_t framesPerTile;
    const EmbeddedTile* tiles;
    size_t tileCount;
};

struct EmbeddedImageTable {
    const char* name;  // the skin's name, e.g. "grandpress"
    const EmbeddedImage* images;
    size_t count;
};

// Makes `table` the source of CBitmap(resourceId). The last registered table wins; a library
// links exactly one skin, so in a plug-in there is only ever one.
void registerEmbeddedImages(const EmbeddedImageTable* table);
// The registered table, or null when none is linked in.
const EmbeddedImageTable* embeddedImages();
// The image with `id` drawn at `density` in the registered table, or null.
const EmbeddedImage* findEmbeddedImage(int32_t id, int32_t density = 1);
// The densities at which `id` is drawn, as a bit mask (bit d set for density d).
uint32_t embeddedDensities(int32_t id);

}  // namespace qgui
