// The skin images compiled into a plug-in library: PNG files by resource id. The generated skin
// source of each plug-in (tools/skingen) defines one table and registers it when the library is
// loaded; CBitmap(resourceId) looks ids up here. Loader thread and user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qgui {

struct EmbeddedImage {
    int32_t id;
    const unsigned char* png;  // PNG file bytes
    size_t size;
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
// The image with `id` in the registered table, or null.
const EmbeddedImage* findEmbeddedImage(int32_t id);

}  // namespace qgui
