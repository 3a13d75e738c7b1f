// A bitmap shared by reference between views: loaded from the images embedded in the plug-in
// library by resource id, or created empty with a size (drawn into by tests and tools).
// Multi-image bitmaps (film strips, button states) stack their frames vertically.
//
// Sizes and coordinates are design pixels. An embedded image may be drawn at several densities
// (image pixels per design pixel); a context drawing at a scale factor takes the smallest
// density at or above it (the largest there is above 3) and scales it down. Embedded film strips
// are decoded a tile of frames at a time, when a frame of the tile is first drawn; a bitmap keeps
// the last few tiles it drew, shared with every other bitmap of the same image.
// User-interface thread.
#pragma once

#include <memory>
#include <vector>

#include "gui/GuiTypes.h"
#include "gui/Surface.h"

namespace qgui {

class CDrawContext;
struct EmbeddedImage;

class CBitmap : public CBaseObject {
  public:
    // The embedded image `resourceId`; isLoaded() is false when there is none or it cannot be
    // decoded.
    CBitmap(int32_t resourceId);
    // A transparent bitmap of the given size (density 1).
    CBitmap(CCoord width, CCoord height);

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return loaded; }
    int32_t getResourceId() const { return resourceId; }

    // Draws the part of the bitmap starting at source pixel `offset` into `destRect`.
    void draw(CDrawContext* context, const CRect& destRect, const CPoint& offset = CPoint(),
              float alpha = 1.0f);

    // The density a context drawing at `scale` device pixels per design pixel uses.
    int densityFor(double scale) const;
    // A decoded part of the image: `surface` holds the design rectangle `rect` of the image at
    // `density` image pixels per design pixel.
    struct Piece {
        NativeSurface* surface = nullptr;
        CRect rect;
        int density = 1;
    };
    // The decoded part of the image at `density` that holds design row `y`; an empty piece
    // (null surface) outside the image or when it cannot be decoded.
    Piece pieceAt(int density, CCoord y);
    // What drawing into `dest` from source pixel `offset` takes of the image at `density`, a
    // piece at a time: `drawPart(piece, part)` for each piece with `part`, the design rectangle
    // of the image drawn from it (nothing outside the image).
    template <typename DrawPart>
    void forEachPart(int density, const CRect& dest, const CPoint& offset, DrawPart drawPart) {
        CRect source(offset.x, offset.y, offset.x + dest.getWidth(), offset.y + dest.getHeight());
        source.bound(CRect(0, 0, width, height));
        for (CCoord y = source.top; y < source.bottom;) {
            const Piece piece = pieceAt(density, y);
            if (!piece.surface) return;
            CRect part(source);
            part.bound(piece.rect);
            y = piece.rect.bottom;
            if (!part.isEmpty()) drawPart(piece, part);
        }
    }

    // The whole image at `density` in one image (ARGB32, frames stacked), decoded on first use
    // and kept while the bitmap lives; null when not loaded. Empty bitmaps have density 1 only.
    NativeSurface* getSurface(int density = 1);

  protected:
    ~CBitmap() override;

  private:
    struct Shared;

    std::shared_ptr<Shared> shared;           // embedded images: the decoded tiles, shared by id
    NativeSurface* own = nullptr;             // empty bitmaps: the image drawn into
    std::vector<NativeSurface*> wholeImages;  // getSurface() by density, index density - 1
    int32_t resourceId = -1;
    CCoord width = 0;
    CCoord height = 0;
    bool loaded = false;
};

}  // namespace qgui
