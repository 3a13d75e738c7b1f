// A view holding child views, drawn in order (later children over earlier ones), with an optional
// background bitmap drawn from a source offset or a background colour. Children's rectangles
// are relative to the container's top-left corner. Mouse events go to the topmost child under
// the pointer; a child that handles a press receives the moves and the release.
// User-interface thread.
#pragma once

#include <vector>

#include "gui/CView.h"

namespace qgui {

class CViewContainer : public CView {
  public:
    explicit CViewContainer(const CRect& size, CFrame* unusedParent = nullptr,
                            CBitmap* background = nullptr);

    // Adds `view` on top; the container takes over the creator's reference. False when it is
    // null or already has a parent.
    virtual bool addView(CView* view);
    // Adds `view` below `before` (on top when `before` is not a child).
    virtual bool addView(CView* view, CView* before);
    // Takes `view` out; with `withForget` false the caller gets the container's reference back
    // and the view lives on, ready to be added again.
    virtual bool removeView(CView* view, bool withForget = true);
    virtual bool removeAll(bool withForget = true);
    bool isChild(CView* view, bool deep = false) const;
    int32_t getNbViews() const { return static_cast<int32_t>(children.size()); }
    CView* getView(int32_t index) const;
    // The topmost visible child whose mouseable area holds `where` (in this container's parent's
    // coordinates); with `deep` it descends into child containers. Null when there is none.
    CView* getViewAt(const CPoint& where, bool deep = false) const;

    void setBackgroundOffset(const CPoint& offset) { backgroundOffset = offset; }
    const CPoint& getBackgroundOffset() const { return backgroundOffset; }
    void setBackgroundColor(const CColor& color) { backgroundColor = color; }
    CColor getBackgroundColor() const { return backgroundColor; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Paints the background for `rect` (container coordinates).
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;

    void invalidRect(const CRect& rect) override;
    bool attached(CView* parent) override;
    bool removed(CView* parent) override;
    CView* getMouseDownView() const { return mouseDownView; }

    QGUI_CLASS_METHODS(CViewContainer, CView)

  protected:
    ~CViewContainer() override;
    void setMouseDownView(CView* view);

    std::vector<CView*> children;
    CPoint backgroundOffset;
    CColor backgroundColor = kTransparentCColor;
    CView* mouseDownView = nullptr;
};

}  // namespace qgui
