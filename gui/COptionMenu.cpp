#include "gui/COptionMenu.h"

#include <algorithm>
#include <cmath>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/VstKeys.h"

namespace qgui {

namespace {

// The open list: a modal view on top of the frame.
class MenuPopup : public CView {
  public:
    MenuPopup(COptionMenu* menu, const CRect& size, CCoord rowHeight)
        : CView(size), menu(menu), rowHeight(rowHeight) {
        menu->remember();
    }

    void draw(CDrawContext* context) override {
        context->setDrawMode(kAliasing);
        context->setFillColor(MakeCColor(246, 246, 242));
        context->drawRect(size, kDrawFilled);
        context->setFont(menu->getFont());
        for (int32_t i = 0; i < menu->getNbEntries(); ++i) {
            const CMenuItem* item = menu->getEntry(i);
            CRect row = rowRect(i);
            if (i == hovered && item->isEnabled()) {
                context->setFillColor(MakeCColor(60, 90, 130));
                context->drawRect(row, kDrawFilled);
                context->setFontColor(kWhiteCColor);
            } else {
                context->setFontColor(item->isEnabled() ? MakeCColor(30, 30, 30)
                                                        : MakeCColor(150, 150, 150));
            }
            if (i == menu->getCurrentIndex() || item->isChecked()) {
                CRect mark(row.left + 5, row.top + row.getHeight() / 2 - 2, 0, 0);
                mark.setWidth(4).setHeight(4);
                context->setFillColor(i == hovered ? kWhiteCColor : MakeCColor(30, 30, 30));
                context->drawRect(mark, kDrawFilled);
            }
            CRect textRect(row);
            textRect.left += 14;
            context->drawString(item->getTitle(), textRect, kLeftText, true);
        }
        context->setLineWidth(1);
        context->setFrameColor(MakeCColor(60, 60, 60));
        context->drawRect(size);
        setDirty(false);
    }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        const int32_t index = size.pointInside(where) ? rowAt(where) : -1;
        if (index >= 0 && !menu->getEntry(index)->isEnabled()) return kMouseEventHandled;
        close(index);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    CMouseEventResult onMouseUp(CPoint&, const CButtonState&) override {
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState&) override {
        const int32_t index = size.pointInside(where) ? rowAt(where) : -1;
        if (index != hovered) {
            hovered = index;
            invalid();
        }
        return kMouseEventHandled;
    }
    int32_t onKeyDown(VstKeyCode& key) override {
        if (key.virt == VKEY_ESCAPE) {
            close(-1);
        } else if (key.virt == VKEY_UP || key.virt == VKEY_DOWN) {
            const int32_t n = menu->getNbEntries();
            if (n > 0) {
                hovered = hovered < 0 ? menu->getCurrentIndex() : hovered;
                hovered = (hovered + (key.virt == VKEY_DOWN ? 1 : n - 1)) % n;
                invalid();
            }
        } else if (key.virt == VKEY_RETURN || key.virt == VKEY_ENTER) {
            close(hovered);
        }
        return 1;
    }

  private:
    ~MenuPopup() override { menu->forget(); }

    CRect rowRect(int32_t i) const {
        return CRect(size.left + 1, size.top + 2 + i * rowHeight, size.right - 1,
                     size.top + 2 + (i + 1) * rowHeight);
    }
    int32_t rowAt(const CPoint& p) const {
        const auto i = static_cast<int32_t>(std::floor((p.y - size.top - 2) / rowHeight));
        return i >= 0 && i < menu->getNbEntries() ? i : -1;
    }
    void close(int32_t index) {
        CBaseObjectGuard guard(this);
        CFrame* f = getFrame();
        if (f) {
            f->setModalView(nullptr);
            f->removeView(this, true);
        }
        menu->popupClosed(index);
    }

    COptionMenu* menu;
    CCoord rowHeight;
    int32_t hovered = -1;
};

}  // namespace

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background, CBitmap* clicked, int32_t style)
    : CParamDisplay(size, background, style) {
    this->listener = listener;
    this->tag = tag;
    if (clicked) {
        clicked->remember();
        backgroundWhenClicked = clicked;
    }
    vmin = 0;
    vmax = 0;
    value = 0;
    defaultValue = 0;
}

COptionMenu::~COptionMenu() {
    for (CMenuItem* item : entries) item->forget();
    if (backgroundWhenClicked) backgroundWhenClicked->forget();
}

CMenuItem* COptionMenu::addEntry(const char* title, int32_t index, int32_t itemFlags) {
    auto* item = new CMenuItem(title, itemFlags);
    if (index < 0 || index >= getNbEntries())
        entries.push_back(item);
    else
        entries.insert(entries.begin() + index, item);
    vmax = static_cast<float>(std::max(0, getNbEntries() - 1));
    if (current < 0) setCurrent(0);
    setDirty();
    return item;
}

CMenuItem* COptionMenu::getEntry(int32_t index) const {
    if (index < 0 || index >= getNbEntries()) return nullptr;
    return entries[static_cast<size_t>(index)];
}

bool COptionMenu::removeEntry(int32_t index) {
    if (index < 0 || index >= getNbEntries()) return false;
    entries[static_cast<size_t>(index)]->forget();
    entries.erase(entries.begin() + index);
    vmax = static_cast<float>(std::max(0, getNbEntries() - 1));
    if (current >= getNbEntries()) current = getNbEntries() - 1;
    setDirty();
    return true;
}

bool COptionMenu::removeAllEntry() {
    for (CMenuItem* item : entries) item->forget();
    entries.clear();
    current = -1;
    vmax = 0;
    value = 0;
    setDirty();
    return true;
}

bool COptionMenu::setCurrent(int32_t index) {
    if (index < 0 || index >= getNbEntries()) return false;
    current = index;
    value = static_cast<float>(index);
    setDirty();
    return true;
}

void COptionMenu::setValue(float v) {
    const auto index = static_cast<int32_t>(v + 0.5f);
    if (!setCurrent(index)) value = v;
}

void COptionMenu::draw(CDrawContext* context) {
    if (popupOpen && backgroundWhenClicked)
        backgroundWhenClicked->draw(context, size, backOffset);
    else
        drawBack(context);
    if (const CMenuItem* item = getCurrent()) drawText(context, item->getTitle());
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    popup();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COptionMenu::popup() {
    CFrame* f = getFrame();
    if (!f || popupOpen || entries.empty()) return false;
    const CCoord rowHeight = std::ceil(font->getSize()) + 4;
    CDrawContext measure(f->getOffscreen());
    measure.setFont(font);
    CCoord width = 80;
    for (const CMenuItem* item : entries)
        width = std::max(width, measure.getStringWidth(item->getTitle()) + 26);
    const CCoord height = rowHeight * getNbEntries() + 4;
    const CRect frameSize = f->getViewSize();
    const CRect button = getFrameRect();
    CRect r(button.left, button.bottom, button.left + width, button.bottom + height);
    if (r.bottom > frameSize.getHeight()) r.offset(0, button.top - height - r.top);
    if (r.top < 0) r.offset(0, -r.top);
    if (r.right > frameSize.getWidth()) r.offset(frameSize.getWidth() - r.right, 0);
    if (r.left < 0) r.offset(-r.left, 0);
    auto* list = new MenuPopup(this, r, rowHeight);
    popupOpen = true;
    lastResult = -1;
    f->addView(list);
    f->setModalView(list);
    beginEdit();
    invalid();
    return true;
}

void COptionMenu::popupClosed(int32_t chosenIndex) {
    popupOpen = false;
    lastResult = chosenIndex;
    if (chosenIndex >= 0 && setCurrent(chosenIndex)) valueChanged();
    invalid();
    endEdit();
}

}  // namespace qgui
