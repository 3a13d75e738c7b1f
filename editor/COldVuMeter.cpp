#include "editor/COldVuMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/NeedleLaw.h"

using namespace qgui;

namespace {

float clampLevel(float x) {
    if (!(x >= 1e-8f)) return 1e-9f;  // also NaN
    return std::min(x, 4.0f);
}

float clampLamp(float x) {
    if (std::fabs(x) < 1e-8f || std::isnan(x)) return 1e-9f;
    return std::clamp(x, -4.0f, 4.0f);
}

CBitmap* remembered(CBitmap* b) {
    if (b) b->remember();
    return b;
}

}  // namespace

COldVuMeter::COldVuMeter(const Geometry& g, CControlListener* listener, int32_t tag, CBitmap* face,
                         CBitmap* strip, CBitmap* lamp)
    : CControl(g.face, listener, tag),
      geometry(g),
      faceBitmap(remembered(face)),
      stripBitmap(remembered(strip)),
      lampBitmap(remembered(lamp)) {
    // The strip hangs below the face: the view covers both so that it is drawn and redrawn.
    CRect all(g.face);
    if (strip)
        all.unite(CRect(g.stripPosition,
                        CPoint(std::trunc(strip->getWidth()), std::trunc(strip->getHeight()))));
    size = all;
    mouseableArea = g.face;
}

COldVuMeter::~COldVuMeter() {
    for (CBitmap* b : {faceBitmap, stripBitmap, lampBitmap})
        if (b) b->forget();
}

bool COldVuMeter::isOverHeld() const {
    return lampState < -0.5f;
}

void COldVuMeter::clearOverHold() {
    lampState = 1e-7f;
    value = level1 + 1e-7f;
}

void COldVuMeter::reset() {
    level1 = 1.1e-7f;
    lampState = 1e-7f;
    level2 = 9e-8f;
    peak1 = 8.7e-8;
    peak2 = 8.5e-8;
    value = 2.1e-7f;
}

void COldVuMeter::setLevel1(float x) {
    level1 = clampLevel(x);
    value = level1;
}

void COldVuMeter::storeLamp(float x) {
    x = clampLamp(x);
    const float old = lampState;
    if (old >= 0.5f && x < 0.5f)
        lampState = -1.0f;  // the over has ended: hold it
    else if (old > -0.5f || x >= 0.5f)
        lampState = x;
    // otherwise held, and no new over: stays held
}

void COldVuMeter::setLampState(float x) {
    storeLamp(x);
    value = level1 + lampState;
}

void COldVuMeter::setLevel2(float x) {
    level2 = clampLevel(x);
    value = level1 + lampState + level2;
}

void COldVuMeter::setPeak1(double x) {
    peak1 = x;
    value = static_cast<float>(x + level1 + lampState + level2);
}

void COldVuMeter::setPeak2(double x) {
    peak2 = x;
    value = static_cast<float>(x + level1 + lampState + level2);
}

void COldVuMeter::setAll(float l1, float lamp, float l2, double p1, double p2) {
    level1 = clampLevel(l1);
    storeLamp(lamp);
    level2 = clampLevel(l2);
    peak1 = p1;
    peak2 = p2;
    value = static_cast<float>(p1 + p2 + level1 + lampState + level2);
}

COldVuMeter::LampFrame COldVuMeter::lampFrame() const {
    if (lampState >= 0.5f) return kLampOver;
    if (lampState <= -0.5f) return kLampHeld;
    return kLampOff;
}

double COldVuMeter::needleAngle(double level) {
    return needle::angleRadians(level);
}

void COldVuMeter::peakText(double peak, char* out) {
    if (peak >= 1e-5)
        std::snprintf(out, 16, "%2.2fdB", 20.0 * std::log10(peak));
    else
        std::strcpy(out, "-oodB");
}

void COldVuMeter::drawNeedle(CDrawContext* context, double level, float inner, float outer,
                             const CColor& color) {
    const double angle = needleAngle(level);
    const double c = std::cos(angle), s = std::sin(angle);
    const CPoint& pivot = geometry.pivot;
    static constexpr double kOffsets[5][2] = {{1, 0}, {0, 0}, {1, 1}, {0, 1}, {0.5, 0.5}};
    context->setFrameColor(color);
    for (const auto& d : kOffsets) {
        const CPoint from(pivot.x + d[0] + inner * c, pivot.y + d[1] - inner * s);
        const CPoint to(pivot.x + d[0] + outer * c, pivot.y + d[1] - outer * s);
        context->drawLine(from, to);
    }
}

void COldVuMeter::draw(CDrawContext* context) {
    context->setLineStyle(kLineSolid);
    context->setLineWidth(1);

    level1 = std::clamp(level1, 1e-6f, 1.5f);
    level2 = std::clamp(level2, 1e-6f, 1.5f);
    if (std::fabs(lampState) < 1e-8f) lampState = 1e-9f;
    lampState = std::clamp(lampState, -1.5f, 1.5f);

    const CRect& face = geometry.face;
    if (faceBitmap) {
        const CPoint at(std::trunc(face.left), std::trunc(face.top));
        faceBitmap->draw(context,
                         CRect(at, CPoint(faceBitmap->getWidth(), faceBitmap->getHeight())));
    }
    if (lampBitmap) {
        const CCoord h = lampBitmap->getHeight() / 3;
        const CRect lamp(
            CPoint(std::trunc(geometry.lampPosition.x), std::trunc(geometry.lampPosition.y)),
            CPoint(lampBitmap->getWidth(), h));
        lampBitmap->draw(context, lamp, CPoint(0, h * static_cast<int>(lampFrame())));
    }

    char text[16];
    context->setFont(kNormalFontVerySmall);
    peakText(peak1, text);
    context->setFontColor(peak1 >= 1.0 ? kReadoutOverColor : kReadoutColor);
    context->drawString(text, geometry.readout1, kCenterText, true);
    peakText(peak2, text);
    context->setFontColor(kReadoutColor);
    context->drawString(text, geometry.readout2, kCenterText, true);

    context->setDrawMode(kAntiAliasing);
    drawNeedle(context, level2, geometry.needle2Inner, geometry.needle2Outer, kNeedle2Color);
    drawNeedle(context, level1, geometry.needle1Inner, geometry.needle1Outer, kNeedle1Color);

    if (stripBitmap)
        stripBitmap->draw(context, CRect(geometry.stripPosition, CPoint(stripBitmap->getWidth(),
                                                                        stripBitmap->getHeight())));
    setDirty(false);
}

CMouseEventResult COldVuMeter::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (listener) listener->valueChanged(this);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}
