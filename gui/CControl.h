// A view with a value between a minimum and a maximum, a default value, a tag and a listener.
// A change of value since the last drawing counts as dirty, so a value set from outside (host
// automation, program change) is drawn on the frame's next idle. beginEdit/endEdit go through
// the frame to the editor, which tells the host. User-interface thread.
#pragma once

#include "gui/CView.h"

namespace qgui {

class CControl;

class CControlListener {
  public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // A click with a modifier; a non-zero answer swallows the click.
    virtual int32_t controlModifierClicked(CControl* control, CButtonState buttons) { return 0; }
    virtual void controlBeginEdit(CControl* control) {}
    virtual void controlEndEdit(CControl* control) {}
};

class CControl : public CView {
  public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);

    virtual void setValue(float v) { value = v; }
    virtual float getValue() const { return value; }
    virtual void setValueNormalized(float v);
    virtual float getValueNormalized() const;
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    float getRange() const { return vmax - vmin; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    virtual void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }
    void setWheelInc(float inc) { wheelInc = inc; }
    float getWheelInc() const { return wheelInc; }

    // Tells the listener and the host that the user starts or ends changing the value.
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing > 0; }
    // Reports the current value to the listener.
    virtual void valueChanged();
    // Clamps the value into min..max.
    virtual void bounceValue();
    // A Control-click with the left button sets the default value (reported when it differs).
    virtual bool checkDefaultValue(CButtonState buttons);

    bool isDirty() const override;
    void setDirty(bool state = true) override;

    QGUI_CLASS_METHODS(CControl, CView)

  protected:
    CControlListener* listener;
    int32_t tag;
    float value = 0;
    float oldValue = 1;
    float defaultValue = 0.5f;
    float vmin = 0;
    float vmax = 1;
    float wheelInc = 0.1f;
    int32_t editing = 0;
};

// Controls whose bitmap stacks several images of equal height.
class IMultiBitmapControl {
  public:
    virtual ~IMultiBitmapControl() = default;
    virtual void setHeightOfOneImage(const CCoord& height) { heightOfOneImage = height; }
    virtual CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    virtual void setNumSubPixmaps(int32_t count) { subPixmaps = count; }
    virtual int32_t getNumSubPixmaps() const { return subPixmaps; }

  protected:
    CCoord heightOfOneImage = 0;
    int32_t subPixmaps = 0;
};

}  // namespace qgui
