// The base of everything drawn in a frame: a rectangle in its parent's coordinates, an optional
// background bitmap, a dirty mark, mouse, wheel and key handlers, attachment to a parent.
// Views are reference counted (CBaseObject); a container that a view is added to owns the
// creator's reference. User-interface thread.
#pragma once

#include <cstring>

#include "gui/GuiTypes.h"
#include "shell/vst2.h"

namespace qgui {

class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

// Run-time type query: isTypeOf("Name") is true for the class and each of its bases.
#define QGUI_CLASS_METHODS(name, base)                          \
    bool isTypeOf(const char* s) const override {               \
        return std::strcmp(s, #name) == 0 || base::isTypeOf(s); \
    }                                                           \
    const char* getClassName() const override {                 \
        return #name;                                           \
    }

class CView : public CBaseObject {
  public:
    explicit CView(const CRect& size);

    // Drawing. draw() paints the whole view in its parent's coordinates; drawRect() is given
    // the part that needs it. The default draws the background bitmap and clears the mark.
    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect) { draw(context); }
    virtual bool checkUpdate(const CRect& updateRect) const { return updateRect.rectOverlap(size); }

    // Mouse, in the parent's coordinates.
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) {
        return kMouseEventNotImplemented;
    }
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) {
        return kMouseEventNotImplemented;
    }
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) {
        return kMouseEventNotImplemented;
    }
    virtual CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) {
        return kMouseEventNotImplemented;
    }
    virtual CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) {
        return kMouseEventNotImplemented;
    }
    // One wheel notch is a distance of 1 (up positive). The axis form forwards vertical wheel
    // movement to the distance-only form.
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
        return false;
    }
    virtual bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                         const CButtonState& buttons);
    // Keys: 1 when handled, -1 when not.
    virtual int32_t onKeyDown(VstKeyCode& keyCode) { return -1; }
    virtual int32_t onKeyUp(VstKeyCode& keyCode) { return -1; }

    // Dirty mark: a dirty view is redrawn on the frame's next idle.
    virtual void setDirty(bool state = true) { dirty = state; }
    virtual bool isDirty() const { return dirty; }
    // Asks the frame to redraw this view's rectangle (or `rect`, in the parent's coordinates).
    virtual void invalid() { invalidRect(size); }
    virtual void invalidRect(const CRect& rect);

    const CRect& getViewSize() const { return size; }
    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }
    const CRect& getMouseableArea() const { return mouseableArea; }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    virtual bool hitTest(const CPoint& where, const CButtonState& buttons = CButtonState()) {
        return mouseableArea.pointInside(where);
    }

    // Background bitmap; the view keeps its own reference.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return background; }
    CBitmap* getDrawBackground() const { return background; }

    virtual void setVisible(bool state);
    bool isVisible() const { return visible; }
    virtual void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }
    // A transparent view lets a click it did not handle go on to the views below it.
    virtual void setTransparency(bool state) { transparent = state; }
    bool getTransparency() const { return transparent; }

    // Keyboard focus (text entry).
    virtual bool wantsFocus() const { return wantsFocusFlag; }
    void setWantsFocus(bool state) { wantsFocusFlag = state; }
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    // Attachment: called by containers; attached views know their frame. A view keeps its
    // parent link while its container is detached from the frame.
    virtual bool attached(CView* parent);
    virtual bool removed(CView* parent);
    bool isAttached() const { return frame != nullptr; }
    CFrame* getFrame() const { return frame; }
    CView* getParentView() const { return parentView; }
    void setParentView(CView* parent) { parentView = parent; }

    // Converts between this view's parent's coordinates and the frame's.
    CPoint& localToFrame(CPoint& point) const;
    CPoint& frameToLocal(CPoint& point) const;
    // This view's rectangle in frame coordinates.
    CRect getFrameRect() const;

    virtual bool isTypeOf(const char* s) const { return std::strcmp(s, "CView") == 0; }
    virtual const char* getClassName() const { return "CView"; }

  protected:
    ~CView() override;

    CRect size;
    CRect mouseableArea;
    CFrame* frame = nullptr;
    CView* parentView = nullptr;
    CBitmap* background = nullptr;
    bool dirty = false;
    bool visible = true;
    bool mouseEnabled = true;
    bool transparent = false;
    bool wantsFocusFlag = false;
};

// Keeps a view alive across a call that may remove it from its container.
class CBaseObjectGuard {
  public:
    explicit CBaseObjectGuard(CBaseObject* object) : object(object) {
        if (object) object->remember();
    }
    ~CBaseObjectGuard() {
        if (object) object->forget();
    }
    CBaseObjectGuard(const CBaseObjectGuard&) = delete;
    CBaseObjectGuard& operator=(const CBaseObjectGuard&) = delete;

  private:
    CBaseObject* object;
};

}  // namespace qgui
