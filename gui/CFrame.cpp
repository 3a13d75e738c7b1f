#include "gui/CFrame.h"

#include <algorithm>
#include <cmath>

#include "gui/AEffGUIEditor.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/FrameWindow.h"
#include "platform/Ticks.h"

namespace qgui {

namespace {

// Whether the wrapping tick count `nowMs` has reached `dueMs`.
bool reached(uint32_t nowMs, uint32_t dueMs) {
    return static_cast<int32_t>(nowMs - dueMs) >= 0;
}

bool isWithin(const CView* view, const CView* ancestor) {
    for (const CView* v = view; v; v = v->getParentView())
        if (v == ancestor) return true;
    return false;
}

// Merges overlapping rectangles; many small ones become their union.
void mergeRects(std::vector<CRect>& rects) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects.size() && !merged; ++i)
            for (size_t j = i + 1; j < rects.size(); ++j)
                if (rects[i].rectOverlap(rects[j])) {
                    rects[i].unite(rects[j]);
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                    break;
                }
    }
    if (rects.size() > 16) {
        CRect all;
        for (const CRect& r : rects) all.unite(r);
        rects.assign(1, all);
    }
}

}  // namespace

CFrame::CFrame(const CRect& size, AEffGUIEditor* editor, double scale)
    : CViewContainer(size), editor(editor), scale(scale > 0 ? scale : 1.0) {
    frame = this;
    backgroundColor = kBlackCColor;
    setupOffscreen();
    invalidRects.push_back(CRect(0, 0, size.getWidth(), size.getHeight()));
}

CFrame::CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor, double scale)
    : CFrame(size, editor, scale) {
    if (systemWindow) open(systemWindow);
}

CFrame::~CFrame() {
    for (CView* v : hoverChain) v->forget();
    hoverChain.clear();
    if (modalView) modalView->forget();
    modalView = nullptr;
    // Closing the window drops an entry in progress without reporting it: the listener may
    // already be tearing its own state down.
    if (focusView) focusView->forget();
    focusView = nullptr;
    timers.clear();
    removeAll(true);
    window.reset();
    releaseSurface(offscreen);
    frame = nullptr;
}

void CFrame::setupOffscreen() {
    offscreen = createSurface(getDeviceWidth(), getDeviceHeight());
}

int CFrame::getDeviceWidth() const {
    return static_cast<int>(std::ceil(size.getWidth() * scale - 1e-6));
}

int CFrame::getDeviceHeight() const {
    return static_cast<int>(std::ceil(size.getHeight() * scale - 1e-6));
}

CRect CFrame::alignToDevice(const CRect& r) const {
    auto down = [this](CCoord v) { return std::floor(v * scale + 1e-6) / scale; };
    auto up = [this](CCoord v) { return std::ceil(v * scale - 1e-6) / scale; };
    return CRect(down(r.left), down(r.top), up(r.right), up(r.bottom));
}

bool CFrame::setScaleFactor(double factor) {
    if (!(factor > 0) || factor == scale) return factor == scale;
    const double old = scale;
    scale = factor;
    NativeSurface* image = createSurface(getDeviceWidth(), getDeviceHeight());
    if (!image) {
        scale = old;
        return false;
    }
    releaseSurface(offscreen);
    offscreen = image;
    if (window) window->setSize(getDeviceWidth(), getDeviceHeight());
    redrawAll();
    return true;
}

void CFrame::displayScaleChanged() {
    CBaseObjectGuard guard(this);
    if (editor) editor->systemScaleChanged();
}

bool CFrame::open(void* systemWindow) {
    if (window || !systemWindow) return window != nullptr;
    window = FrameWindow::create(*this, reinterpret_cast<uintptr_t>(systemWindow), getDeviceWidth(),
                                 getDeviceHeight());
    if (!window) return false;
    for (Timer& t : timers)
        if (!t.inWindow) t.inWindow = window->startTimer(t.id, t.intervalMs / 1000.0);
    redrawAll();
    return true;
}

uintptr_t CFrame::getNativeWindow() const {
    return window ? window->nativeWindow() : 0;
}

void CFrame::idle() {
    if (inIdle) {
        // Re-entered from a timer or event handler: only bring the drawing up to date; the
        // window shows it when the outer pump flushes its exposures.
        for (const CRect& r : redrawDirty())
            if (window) window->postRedisplay(r);
        return;
    }
    inIdle = true;
    CBaseObjectGuard guard(this);
    runDueTimers();
    if (window) window->pump();
    for (const CRect& r : redrawDirty())
        if (window) window->postRedisplay(r);
    inIdle = false;
}

void CFrame::collectDirty(CView* view, const CPoint& origin, std::vector<CRect>& out) {
    auto* container = dynamic_cast<CViewContainer*>(view);
    if (!container) return;
    CRect bounds(origin, CPoint(view->getWidth(), view->getHeight()));
    for (int32_t i = 0; i < container->getNbViews(); ++i) {
        CView* child = container->getView(i);
        if (!child->isVisible()) continue;
        CRect r = child->getViewSize();
        r.offset(origin.x, origin.y);
        r.bound(bounds);
        auto* inner = dynamic_cast<CViewContainer*>(child);
        if (inner && !inner->CView::isDirty()) {
            collectDirty(child, origin + child->getViewSize().getTopLeft(), out);
            continue;
        }
        if (child->isDirty() && !r.isEmpty()) out.push_back(r);
    }
}

std::vector<CRect> CFrame::redrawDirty() {
    std::vector<CRect> rects;
    rects.swap(invalidRects);
    if (CView::isDirty()) rects.push_back(CRect(0, 0, size.getWidth(), size.getHeight()));
    collectDirty(this, CPoint(0, 0), rects);
    const CRect all(0, 0, size.getWidth(), size.getHeight());
    // Each rectangle is redrawn in whole device pixels: a pixel is cleared and painted over
    // entirely, never in part.
    for (CRect& r : rects) r = alignToDevice(r).bound(all);
    rects.erase(
        std::remove_if(rects.begin(), rects.end(), [](const CRect& r) { return r.isEmpty(); }),
        rects.end());
    if (rects.empty() || !offscreen) return rects;
    mergeRects(rects);
    CDrawContext context(offscreen, scale);
    for (const CRect& r : rects) {
        context.setOffset(CPoint());
        context.setClipRect(r);
        context.clearRect(r);
        drawRect(&context, r);
    }
    return rects;
}

void CFrame::redrawAll() {
    invalidRect(size);
    redrawDirty();
    if (window) window->postRedisplay(size);
}

bool CFrame::writePNG(const char* path) const {
    return writeSurfacePng(offscreen, path);
}

void CFrame::invalidRect(const CRect& rect) {
    CRect r(rect);
    r.bound(CRect(0, 0, size.getWidth(), size.getHeight()));
    if (!r.isEmpty()) invalidRects.push_back(r);
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
    int32_t buttons = 0;
    if (window && window->queryPointer(where, buttons)) return true;
    where = lastMouse;
    return true;
}

CButtonState CFrame::getCurrentMouseButtons() const {
    CPoint where;
    int32_t buttons = 0;
    if (window && window->queryPointer(where, buttons)) return CButtonState(buttons);
    return CButtonState(lastButtons);
}

void CFrame::updateHover(const CPoint& where, const CButtonState& buttons) {
    std::vector<CView*> chain;
    const CViewContainer* container = this;
    CPoint p = where;  // in `container`'s parent coordinates (the frame is at 0, 0)
    while (container) {
        CView* v = container->getViewAt(p, false);
        if (!v) break;
        chain.push_back(v);
        p.offset(-container->getViewSize().left, -container->getViewSize().top);
        container = dynamic_cast<CViewContainer*>(v);
    }
    // Leave the views no longer under the mouse, innermost first.
    for (auto it = hoverChain.rbegin(); it != hoverChain.rend(); ++it) {
        CView* v = *it;
        if (std::find(chain.begin(), chain.end(), v) != chain.end()) continue;
        if (v->isAttached()) {
            CPoint local = where;
            v->frameToLocal(local);
            v->onMouseExited(local, buttons);
        }
    }
    for (CView* v : chain) {
        if (std::find(hoverChain.begin(), hoverChain.end(), v) != hoverChain.end()) continue;
        CPoint local = where;
        v->frameToLocal(local);
        v->onMouseEntered(local, buttons);
    }
    for (CView* v : chain) v->remember();
    for (CView* v : hoverChain) v->forget();
    hoverChain.swap(chain);
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    lastMouse = where;
    lastButtons = buttons;
    if (modalView) {
        CView* v = modalView;
        CBaseObjectGuard guard(v);
        CPoint local = where;
        v->frameToLocal(local);
        return v->onMouseDown(local, buttons);
    }
    // A click outside the view being typed into ends the entry (and commits it).
    if (focusView && !focusView->getFrameRect().pointInside(where)) setFocusView(nullptr);
    const CMouseEventResult result = CViewContainer::onMouseDown(where, buttons);
    if (result != kMouseEventNotHandled || !editor) return result;
    // Nothing but containers under the mouse: the click is on the background.
    CView* hit = getViewAt(where, true);
    if (hit && !dynamic_cast<CViewContainer*>(hit)) return result;
    CBaseObjectGuard guard(this);
    return editor->backgroundClicked(where, buttons)
               ? kMouseDownEventHandledButDontNeedMovedOrUpEvents
               : result;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    lastMouse = where;
    lastButtons = buttons.getModifierState();
    if (modalView) {
        CView* v = modalView;
        CBaseObjectGuard guard(v);
        CPoint local = where;
        v->frameToLocal(local);
        return v->onMouseUp(local, buttons);
    }
    return CViewContainer::onMouseUp(where, buttons);
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    lastMouse = where;
    lastButtons = buttons;
    if (modalView) {
        CView* v = modalView;
        CBaseObjectGuard guard(v);
        CPoint local = where;
        v->frameToLocal(local);
        return v->onMouseMoved(local, buttons);
    }
    updateHover(where, buttons);
    CMouseEventResult result = CViewContainer::onMouseMoved(where, buttons);
    if (result != kMouseEventNotHandled) return result;
    // No view holds the mouse: the views under it see the move (hover), innermost first, with
    // the modifiers only.
    const CButtonState modifiers(buttons.getModifierState());
    std::vector<CView*> chain = hoverChain;
    for (CView* v : chain) v->remember();
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        CPoint local = where;
        (*it)->frameToLocal(local);
        result = (*it)->onMouseMoved(local, modifiers);
        if (result == kMouseEventHandled) break;
    }
    for (CView* v : chain) v->forget();
    return result;
}

CMouseEventResult CFrame::onMouseExited(CPoint& where, const CButtonState& buttons) {
    if (!mouseDownView) {
        lastMouse = CPoint(-1, -1);
        updateHover(CPoint(-1e6, -1e6), buttons);
    }
    return kMouseEventHandled;
}

bool CFrame::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                     const CButtonState& buttons) {
    lastMouse = where;
    if (modalView) return true;
    return CViewContainer::onWheel(where, axis, distance, buttons);
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
    CView* target = modalView ? modalView : focusView;
    if (!target) return -1;
    CBaseObjectGuard guard(target);
    return target->onKeyDown(keyCode);
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
    CView* target = modalView ? modalView : focusView;
    if (!target) return -1;
    CBaseObjectGuard guard(target);
    return target->onKeyUp(keyCode);
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView) return;
    CView* old = focusView;
    focusView = nullptr;
    if (old) {
        old->looseFocus();
        old->forget();
    }
    if (view && view->isAttached()) {
        focusView = view;
        view->remember();
        view->takeFocus();
        if (window) window->grabKeyboardFocus();
    }
}

void CFrame::setModalView(CView* view) {
    if (view) view->remember();
    if (modalView) modalView->forget();
    modalView = view;
}

void CFrame::viewWillBeRemoved(CView* view) {
    if (focusView && isWithin(focusView, view)) setFocusView(nullptr);
    if (modalView && isWithin(modalView, view)) setModalView(nullptr);
    for (auto it = hoverChain.begin(); it != hoverChain.end();) {
        if (isWithin(*it, view)) {
            (*it)->forget();
            it = hoverChain.erase(it);
        } else {
            ++it;
        }
    }
}

int32_t CFrame::getKnobMode() const {
    return editor ? editor->getKnobMode() : kCircularMode;
}

void CFrame::beginEdit(int32_t index) {
    if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
    if (editor) editor->endEdit(index);
}

uint32_t CFrame::startTimer(uint32_t intervalMs, std::function<void()> callback) {
    const uint32_t id = nextTimerId++;
    intervalMs = std::max<uint32_t>(1, intervalMs);
    Timer t{id, intervalMs, platform::tickCountMs() + intervalMs, false, std::move(callback)};
    if (window) t.inWindow = window->startTimer(id, t.intervalMs / 1000.0);
    timers.push_back(std::move(t));
    return id;
}

void CFrame::stopTimer(uint32_t id) {
    auto it =
        std::find_if(timers.begin(), timers.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers.end()) return;
    if (it->inWindow && window) window->stopTimer(id);
    timers.erase(it);
}

void CFrame::fireTimer(uint32_t id) {
    auto it =
        std::find_if(timers.begin(), timers.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers.end()) return;
    const uint32_t now = platform::tickCountMs();
    if (reached(now + it->intervalMs / 2, it->nextDueMs)) runTimer(id, now);
}

void CFrame::runDueTimers() {
    const uint32_t now = platform::tickCountMs();
    std::vector<uint32_t> due;
    for (const Timer& t : timers)
        if (reached(now, t.nextDueMs)) due.push_back(t.id);
    for (uint32_t id : due) runTimer(id, now);
}

void CFrame::runTimer(uint32_t id, uint32_t nowMs) {
    auto it =
        std::find_if(timers.begin(), timers.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers.end()) return;  // stopped by a callback that ran before
    // The next period after now: periods missed in a long pause are skipped, not run in a burst.
    do it->nextDueMs += it->intervalMs;
    while (reached(nowMs, it->nextDueMs));
    std::function<void()> callback = it->callback;  // the callback may stop its own timer
    callback();
}

}  // namespace qgui
