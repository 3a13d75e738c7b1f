// A pop-up list of entries. The button shows the current entry's title (unless styled with
// kNoTextStyle) over its background; a left click opens the list inside the frame, below the
// button or above it when there is no room. A click on an entry makes it current, sets the value
// to its index and reports it; a click outside the list or Escape closes it unchanged.
// User-interface thread.
#pragma once

#include <string>
#include <vector>

#include "gui/CParamDisplay.h"

namespace qgui {

// One entry of a menu.
class CMenuItem : public CBaseObject {
  public:
    enum Flags { kNoFlags = 0, kDisabled = 1 << 0, kChecked = 1 << 3 };

    explicit CMenuItem(const char* title, int32_t flags = kNoFlags)
        : title(title ? title : ""), flags(flags) {}
    void setTitle(const char* t) { title = t ? t : ""; }
    const char* getTitle() const { return title.c_str(); }
    bool isEnabled() const { return !(flags & kDisabled); }
    void setEnabled(bool state) { flags = state ? (flags & ~kDisabled) : (flags | kDisabled); }
    bool isChecked() const { return (flags & kChecked) != 0; }
    void setChecked(bool state) { flags = state ? (flags | kChecked) : (flags & ~kChecked); }

  private:
    std::string title;
    int32_t flags;
};

class COptionMenu : public CParamDisplay {
  public:
    COptionMenu(const CRect& size, CControlListener* listener, int32_t tag,
                CBitmap* background = nullptr, CBitmap* backgroundWhenClicked = nullptr,
                int32_t style = 0);

    // Adds an entry at `index` (at the end when -1); returns it.
    CMenuItem* addEntry(const char* title, int32_t index = -1,
                        int32_t itemFlags = CMenuItem::kNoFlags);
    CMenuItem* getEntry(int32_t index) const;
    int32_t getNbEntries() const { return static_cast<int32_t>(entries.size()); }
    bool removeEntry(int32_t index);
    bool removeAllEntry();
    // Makes entry `index` current (and the value); false when there is no such entry.
    bool setCurrent(int32_t index);
    int32_t getCurrentIndex() const { return current; }
    CMenuItem* getCurrent() const { return getEntry(current); }
    // The entry chosen last from the open list (-1 when it was closed without a choice).
    int32_t getLastResult() const { return lastResult; }

    void setValue(float v) override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

    // Opens the list (as a click does); true when it opened.
    bool popup();
    bool isPopupOpen() const { return popupOpen; }
    // Called by the open list.
    void popupClosed(int32_t chosenIndex);

    QGUI_CLASS_METHODS(COptionMenu, CParamDisplay)

  protected:
    ~COptionMenu() override;

    std::vector<CMenuItem*> entries;
    CBitmap* backgroundWhenClicked = nullptr;
    int32_t current = -1;
    int32_t lastResult = -1;
    bool popupOpen = false;
};

}  // namespace qgui
