#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace qgui {

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

CView::~CView() {
    if (background) background->forget();
}

void CView::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    setDirty(false);
}

bool CView::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                    const CButtonState& buttons) {
    if (axis != kMouseWheelAxisY) return false;
    return onWheel(where, distance, buttons);
}

void CView::invalidRect(const CRect& rect) {
    if (!frame || !visible) return;
    if (parentView) parentView->invalidRect(rect);
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) invalid();
    size = rect;
    mouseableArea = rect;
    if (invalidate) invalid();
}

void CView::setBackground(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty(true);
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    if (!state) invalid();  // what was under it shows again
    visible = state;
    if (state) invalid();
}

bool CView::attached(CView* parent) {
    parentView = parent;
    frame = parent ? parent->getFrame() : nullptr;
    return true;
}

bool CView::removed(CView* parent) {
    frame = nullptr;
    return true;
}

CPoint& CView::localToFrame(CPoint& point) const {
    for (const CView* p = parentView; p; p = p->getParentView())
        point.offset(p->getViewSize().left, p->getViewSize().top);
    return point;
}

CPoint& CView::frameToLocal(CPoint& point) const {
    for (const CView* p = parentView; p; p = p->getParentView())
        point.offset(-p->getViewSize().left, -p->getViewSize().top);
    return point;
}

CRect CView::getFrameRect() const {
    CPoint topLeft = size.getTopLeft();
    localToFrame(topLeft);
    return CRect(topLeft, CPoint(size.getWidth(), size.getHeight()));
}

}  // namespace qgui
