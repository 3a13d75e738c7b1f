// Basic value types of the view toolkit: coordinates, points, rectangles, colours, mouse button
// and modifier flags, mouse-handler results, and the reference-counted object base.
// Everything in gui/ runs on the user-interface thread only.
#pragma once

#include <cstdint>

namespace qgui {

using CCoord = double;

struct CPoint {
    CCoord x = 0;
    CCoord y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(CCoord x, CCoord y) : x(x), y(y) {}

    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
    CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

// Left and top inclusive, right and bottom exclusive, as pixel edges.
struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord left, CCoord top, CCoord right, CCoord bottom)
        : left(left), top(top), right(right), bottom(bottom) {}
    CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    CCoord getWidth() const { return right - left; }
    CCoord getHeight() const { return bottom - top; }
    CCoord width() const { return right - left; }
    CCoord height() const { return bottom - top; }
    CPoint getTopLeft() const { return {left, top}; }
    CPoint getCenter() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& setWidth(CCoord w) {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h) {
        bottom = top + h;
        return *this;
    }
    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    CRect& inset(CCoord dx, CCoord dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool rectOverlap(const CRect& r) const {
        return r.left < right && r.right > left && r.top < bottom && r.bottom > top;
    }
    // Intersection with r (empty when they do not overlap).
    CRect& bound(const CRect& r);
    // Smallest rectangle holding both (an empty rectangle counts as nothing).
    CRect& unite(const CRect& r);

    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

constexpr CColor MakeCColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    return CColor{r, g, b, a};
}

constexpr CColor kTransparentCColor{255, 255, 255, 0};
constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};
constexpr CColor kRedCColor{255, 0, 0, 255};
constexpr CColor kGreenCColor{0, 255, 0, 255};
constexpr CColor kBlueCColor{0, 0, 255, 255};

// Mouse buttons and modifiers, combined in one integer.
enum CButton : int32_t {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kDoubleClick = 1 << 10,
};

class CButtonState {
  public:
    CButtonState(int32_t state = 0) : state(state) {}

    int32_t getButtonState() const { return state & (kLButton | kMButton | kRButton); }
    int32_t getModifierState() const { return state & (kShift | kControl | kAlt | kApple); }
    bool isLeftButton() const { return (state & kLButton) != 0; }
    bool isRightButton() const { return (state & kRButton) != 0; }
    bool isDoubleClick() const { return (state & kDoubleClick) != 0; }
    operator int32_t() const { return state; }
    bool operator==(const CButtonState& o) const { return state == o.state; }
    bool operator!=(const CButtonState& o) const { return state != o.state; }

  private:
    int32_t state;
};

enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
    kMouseMoveEventHandledButDontNeedMoreEvents,
};

enum CMouseWheelAxis { kMouseWheelAxisX = 0, kMouseWheelAxisY };

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

// Knob tracking modes (the editor's knob mode, effSetEditKnobMode).
enum { kCircularMode = 0, kRelativCircularMode, kLinearMode };

// Objects shared by reference: views and bitmaps start with one reference held by their
// creator; remember() adds one, forget() drops one and deletes the object at zero.
class CBaseObject {
  public:
    CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference == 0) delete this;
    }
    int32_t getNbReference() const { return nbReference; }

    // Live objects of the toolkit in this process: leak checks compare it before and after.
    static int64_t liveObjectCount();

  protected:
    virtual ~CBaseObject();

  private:
    int32_t nbReference = 1;
};

}  // namespace qgui
