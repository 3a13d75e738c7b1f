#include "gui/CViewContainer.h"

#include <algorithm>

#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace qgui {

CViewContainer::CViewContainer(const CRect& size, CFrame*, CBitmap* bitmap) : CView(size) {
    if (bitmap) setBackground(bitmap);
}

CViewContainer::~CViewContainer() {
    removeAll(true);
}

bool CViewContainer::addView(CView* view) {
    return addView(view, nullptr);
}

bool CViewContainer::addView(CView* view, CView* before) {
    if (!view || view->getParentView() || view == this) return false;
    auto at = std::find(children.begin(), children.end(), before);
    children.insert(at, view);
    view->setParentView(this);
    if (isAttached()) {
        view->attached(this);
        view->invalid();
    }
    return true;
}

bool CViewContainer::removeView(CView* view, bool withForget) {
    auto at = std::find(children.begin(), children.end(), view);
    if (at == children.end()) return false;
    if (isAttached()) {
        view->invalid();  // what lay under it is drawn again
        if (frame) frame->viewWillBeRemoved(view);
    }
    if (mouseDownView == view) setMouseDownView(nullptr);
    children.erase(std::find(children.begin(), children.end(), view));
    if (view->isAttached()) view->removed(this);
    view->setParentView(nullptr);
    if (withForget) view->forget();
    return true;
}

bool CViewContainer::removeAll(bool withForget) {
    while (!children.empty()) removeView(children.back(), withForget);
    return true;
}

bool CViewContainer::isChild(CView* view, bool deep) const {
    for (CView* child : children) {
        if (child == view) return true;
        if (deep)
            if (auto* c = dynamic_cast<CViewContainer*>(child); c && c->isChild(view, true))
                return true;
    }
    return false;
}

CView* CViewContainer::getView(int32_t index) const {
    if (index < 0 || index >= getNbViews()) return nullptr;
    return children[static_cast<size_t>(index)];
}

CView* CViewContainer::getViewAt(const CPoint& p, bool deep) const {
    CPoint where(p);
    where.offset(-size.left, -size.top);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseableArea().pointInside(where)) continue;
        if (deep)
            if (auto* c = dynamic_cast<CViewContainer*>(v))
                if (CView* inner = c->getViewAt(where, true)) return inner;
        return v;
    }
    return nullptr;
}

void CViewContainer::draw(CDrawContext* context) {
    drawRect(context, size);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect) {
    if (background) {
        CRect local(0, 0, size.getWidth(), size.getHeight());
        context->drawBitmap(background, local, backgroundOffset);
    } else if (backgroundColor.alpha) {
        context->setFillColor(backgroundColor);
        context->drawRect(rect, kDrawFilled);
    }
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    const CPoint oldOffset = context->getOffset();
    const CRect oldClip = context->getClipRect();

    CRect local(updateRect);
    local.bound(size);
    local.offset(-size.left, -size.top);
    CRect clip(oldClip);
    clip.offset(-size.left, -size.top);
    local.bound(clip);

    context->setOffset(CPoint(oldOffset.x + size.left, oldOffset.y + size.top));
    if (!local.isEmpty()) {
        context->setClipRect(local);
        drawBackgroundRect(context, local);
        // A copy: drawing may not change the children, but a view may remove itself later.
        for (CView* child : children) {
            if (!child->isVisible() || !child->checkUpdate(local)) continue;
            CRect childClip(local);
            childClip.bound(child->getViewSize());
            context->setClipRect(childClip);
            child->drawRect(context, childClip);
            child->setDirty(false);
            context->setClipRect(local);
        }
    }
    context->setOffset(oldOffset);
    context->setClipRect(oldClip);
    setDirty(false);
}

void CViewContainer::setMouseDownView(CView* view) {
    if (view) view->remember();
    if (mouseDownView) mouseDownView->forget();
    mouseDownView = view;
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CPoint where2(where);
    where2.offset(-size.left, -size.top);
    // Iterate over a snapshot: a handler may add or remove views.
    std::vector<CView*> snapshot(children.rbegin(), children.rend());
    for (CView* v : snapshot) {
        if (!isChild(v)) continue;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->hitTest(where2, buttons)) continue;
        CBaseObjectGuard guard(v);
        if (auto* control = dynamic_cast<CControl*>(v);
            control && control->getListener() && (buttons & (kAlt | kShift | kControl | kApple))) {
            if (control->getListener()->controlModifierClicked(control, buttons) != 0)
                return kMouseEventHandled;
        }
        CMouseEventResult result = v->onMouseDown(where2, buttons);
        if (result != kMouseEventNotHandled && result != kMouseEventNotImplemented) {
            if (result == kMouseEventHandled && isChild(v)) setMouseDownView(v);
            return result;
        }
        if (!v->getTransparency()) return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!mouseDownView) return kMouseEventNotHandled;
    CView* v = mouseDownView;
    CBaseObjectGuard guard(v);
    setMouseDownView(nullptr);
    CPoint where2(where);
    where2.offset(-size.left, -size.top);
    v->onMouseUp(where2, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    CPoint where2(where);
    where2.offset(-size.left, -size.top);
    if (mouseDownView) {
        CView* v = mouseDownView;
        CBaseObjectGuard guard(v);
        CMouseEventResult result = v->onMouseMoved(where2, buttons);
        if (result != kMouseEventHandled && result != kMouseEventNotImplemented &&
            mouseDownView == v)
            setMouseDownView(nullptr);
        return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

bool CViewContainer::onWheel(const CPoint& where, const CMouseWheelAxis& axis,
                             const float& distance, const CButtonState& buttons) {
    CPoint where2(where);
    where2.offset(-size.left, -size.top);
    std::vector<CView*> snapshot(children.rbegin(), children.rend());
    for (CView* v : snapshot) {
        if (!isChild(v)) continue;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->getMouseableArea().pointInside(where2))
            continue;
        CBaseObjectGuard guard(v);
        if (v->onWheel(where2, axis, distance, buttons)) return true;
        if (!v->getTransparency()) return false;
    }
    return false;
}

void CViewContainer::invalidRect(const CRect& rect) {
    if (!frame || !visible) return;
    CRect r(rect);
    r.offset(size.left, size.top);
    r.bound(size);
    if (r.isEmpty()) return;
    if (parentView) parentView->invalidRect(r);
}

bool CViewContainer::attached(CView* parent) {
    CView::attached(parent);
    if (frame)
        for (CView* child : children) child->attached(this);
    return true;
}

bool CViewContainer::removed(CView* parent) {
    // The children stay with this container; they only lose the frame.
    for (CView* child : children)
        if (child->isAttached()) child->removed(this);
    CView::removed(parent);
    return true;
}

}  // namespace qgui
