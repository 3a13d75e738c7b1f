// A bitmap shared by reference between views: loaded from the PNG images embedded in the plug-in
// library by resource id, or created empty with a size (drawn into by tests and tools).
// Multi-image bitmaps (film strips, button states) stack their frames vertically.
// User-interface thread.
#pragma once

#include "gui/GuiTypes.h"
#include "gui/Surface.h"

namespace qgui {

class CDrawContext;

class CBitmap : public CBaseObject {
  public:
    // Decodes the embedded image `resourceId`; isLoaded() is false when there is none.
    CBitmap(int32_t resourceId);
    // A transparent bitmap of the given size.
    CBitmap(CCoord width, CCoord height);

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return surface != nullptr; }
    int32_t getResourceId() const { return resourceId; }

    // Draws the part of the bitmap starting at source pixel `offset` into `destRect`.
    void draw(CDrawContext* context, const CRect& destRect, const CPoint& offset = CPoint(),
              float alpha = 1.0f);

    // The decoded image (ARGB32), null when not loaded.
    NativeSurface* getSurface() const { return surface; }

  protected:
    ~CBitmap() override;

  private:
    NativeSurface* surface = nullptr;
    int32_t resourceId = -1;
    CCoord width = 0;
    CCoord height = 0;
};

}  // namespace qgui
