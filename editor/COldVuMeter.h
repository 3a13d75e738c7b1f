// The analogue-style needle meter of both panels: a face bitmap, a long main needle (level 1),
// a short second needle near the scale (level 2), a three-state over lamp that latches, two
// numeric peak read-outs and a bottom strip drawn over the needle roots. The editor feeds it on
// every idle pass; the control only stores, clamps and draws. A left click reports to the
// listener (the editor clears the lamp hold and the meter feed).
//
// Geometry is in panel pixels. The view covers the face and the strip below it so that both are
// drawn; clicks count on the face only. User-interface thread.
#pragma once

#include "gui/Toolkit.h"

class COldVuMeter : public qgui::CControl {
  public:
    struct Geometry {
        qgui::CRect face;           // the face bitmap's place (the control's rect)
        qgui::CPoint lampPosition;  // top-left of the over lamp
        qgui::CPoint stripPosition;
        qgui::CPoint pivot;
        float needle1Inner, needle1Outer;  // radii of the main needle
        float needle2Inner, needle2Outer;  // radii of the second needle
        qgui::CRect readout1;              // peak 1 (turns red from 0 dBFS)
        qgui::CRect readout2;              // peak 2
    };

    // Lamp frames, top to bottom of the lamp bitmap.
    enum LampFrame { kLampOver = 0, kLampHeld = 1, kLampOff = 2 };

    static constexpr qgui::CColor kNeedle1Color = {100, 100, 105, 255};
    static constexpr qgui::CColor kNeedle2Color = {240, 40, 40, 255};
    static constexpr qgui::CColor kReadoutColor = {100, 100, 105, 255};
    static constexpr qgui::CColor kReadoutOverColor = {240, 40, 40, 255};

    // The three bitmaps are remembered and released with the control.
    COldVuMeter(const Geometry& geometry, qgui::CControlListener* listener, int32_t tag,
                qgui::CBitmap* face, qgui::CBitmap* strip, qgui::CBitmap* lamp);

    // Meter operations. Each ends by setting the control's value to the sum of the parts it
    // touched, so any change of a part is a change of value (and a redraw).
    virtual bool isOverHeld() const;
    virtual void clearOverHold();
    // The rest position: needles down, lamp off, read-outs "-oodB".
    virtual void reset();
    virtual void setLevel1(float x);
    // Latch: a lamp that was lit (>= 0.5) and goes dark becomes held (-1) until a new over
    // lights it again or clearOverHold clears it.
    virtual void setLampState(float x);
    virtual void setLevel2(float x);
    virtual void setPeak1(double x);
    virtual void setPeak2(double x);
    virtual void setAll(float level1, float lampState, float level2, double peak1, double peak2);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;

    float getLevel1() const { return level1; }
    float getLampState() const { return lampState; }
    float getLevel2() const { return level2; }
    double getPeak1() const { return peak1; }
    double getPeak2() const { return peak2; }
    const Geometry& getGeometry() const { return geometry; }
    // The lamp frame the current lamp state shows.
    LampFrame lampFrame() const;
    // Needle angle in radians for a level (see editor/NeedleLaw.h): 5π/6 at rest, π/6 at 1.44.
    static double needleAngle(double level);
    // The read-out text of a peak value: "-6.02dB", "-oodB" below 1e-5 (at least 16 bytes).
    static void peakText(double peak, char* out);

    QGUI_CLASS_METHODS(COldVuMeter, CControl)

  protected:
    ~COldVuMeter() override;

  private:
    void storeLamp(float x);
    void drawNeedle(qgui::CDrawContext* context, double level, float inner, float outer,
                    const qgui::CColor& color);

    Geometry geometry;
    qgui::CBitmap* faceBitmap;
    qgui::CBitmap* stripBitmap;
    qgui::CBitmap* lampBitmap;
    float level1 = 1e-8f;
    float lampState = 1e-8f;
    float level2 = 1e-8f;
    double peak1 = 0.0;
    double peak2 = 0.0;
};
