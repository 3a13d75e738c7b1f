// What every build of CBitmap shares: the table of embedded images and drawing through a context.
// Decoding and the image memory are in CBitmap_cairo.cpp and CBitmap_win.cpp.
#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/EmbeddedImages.h"

namespace qgui {

namespace {

const EmbeddedImageTable*& registeredTable() {
    static const EmbeddedImageTable* table = nullptr;
    return table;
}

}  // namespace

void registerEmbeddedImages(const EmbeddedImageTable* table) {
    registeredTable() = table;
}

const EmbeddedImageTable* embeddedImages() {
    return registeredTable();
}

const EmbeddedImage* findEmbeddedImage(int32_t id) {
    const EmbeddedImageTable* table = registeredTable();
    if (!table) return nullptr;
    for (size_t i = 0; i < table->count; ++i)
        if (table->images[i].id == id) return &table->images[i];
    return nullptr;
}

void CBitmap::draw(CDrawContext* context, const CRect& destRect, const CPoint& offset,
                   float alpha) {
    if (context) context->drawBitmap(this, destRect, offset, alpha);
}

}  // namespace qgui
