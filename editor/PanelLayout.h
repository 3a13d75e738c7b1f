// The panels of both plug-ins as data: skin bitmap ids, page sizes, and every control of the
// front and back page in creation (= drawing) order with its class, tag, rectangle, bitmap and
// settings; the knob read-outs with their fonts, ranges and entry rules. GrandPressEditor builds
// the views from these tables. Pure data; any thread.
#pragma once

#include <cstdint>
#include <span>

#include "editor/ReadoutText.h"
#include "gui/GuiTypes.h"

namespace panel {

// Skin bitmap ids shared by both plug-ins (the images differ).
enum Bitmap : int32_t {
    kFrameBitmap = 19000,
    kFrontPageBitmap = 19001,
    kBackPageBitmap = 19035,
    kSettingKnobBitmap = 19036,
};

// Editor tags beyond the parameter indices 0..40.
enum Tag : int32_t {
    kFirstReadoutTag = 41,
    kLastReadoutTag = 51,
    kFrontPageSwitchTag = 56,
    kBackPageSwitchTag = 57,
    kMeterTag = 58,
    kScMonitorTag = 35,
    kFirstSettingTag = 36,
    kLastSettingTag = 40,
    kLastHostTag = 33,
};

enum class Kind { BackDisplay, Meter, OnOffButton, VerticalSwitch, Knob, PageSwitch, Label };

// What a CBackDisplay shows and how its value becomes text.
enum class Shows { LatencyMs, LatencySamples, Setting };
enum class Converter { Milliseconds, Samples, Dbfs, Integer };

struct MeterSpec {
    int32_t faceBitmap, stripBitmap, lampBitmap;
    qgui::CPoint stripPosition, lampPosition, pivot;
    float needle1Inner, needle1Outer, needle2Inner, needle2Outer;
    qgui::CRect readout1, readout2;
};

struct ControlSpec {
    Kind kind;
    int32_t tag;  // parameter index or editor tag; -1 for views without one
    const char* name;
    qgui::CRect rect;
    int32_t bitmap;  // 0: none
    // Knobs: frame count and frame height; default value (Control-click) when hasDefault.
    int32_t frames = 0;
    int32_t frameHeight = 0;
    bool hasDefault = false;
    float defaultValue = 0.0f;
    // Vertical switches: positions and their height.
    int32_t positions = 0;
    int32_t positionHeight = 0;
    // Back displays.
    Shows shows = Shows::Setting;
    Converter converter = Converter::Milliseconds;
    qgui::CPoint backOffset{};  // source pixel of the bitmap at the display's corner
    int32_t setting = -1;       // Shows::Setting: the meter setting shown (36..40)
    // Meters.
    const MeterSpec* meter = nullptr;
    // Labels.
    const char* text = nullptr;
};

struct ReadoutSpec {
    int32_t tag;        // 41..51
    int32_t parameter;  // the knob's parameter index
    qgui::CRect rect;
    bool largeFont;  // Arial 12 (Threshold) rather than Arial 11
    // Typed values are clamped to this range (in the read-out's unit) and become the nearest
    // normalised value through the effect (CompressorEffect::normalisedOfDisplayValue).
    double min, max;
    readout::Kind kind;
    // A host update also sets the read-out's value (and marks it dirty), not only its text.
    bool valueOnUpdate;
};

struct Layout {
    const char* name;
    int32_t frameHeight;  // 460 or 378; the frame is kPanelWidth wide
    int32_t barTop;       // the preset bar's top
    int32_t metersParameter;
    int32_t scExtParameter;
    qgui::CColor readoutBackColor;  // back and frame colour of the read-outs
    std::span<const ControlSpec> front;
    std::span<const ControlSpec> back;
    std::span<const ReadoutSpec> readouts;

    // The read-out of a knob's parameter index or of a read-out tag; null when there is none.
    const ReadoutSpec* readoutFor(int32_t tag) const {
        for (const ReadoutSpec& r : readouts)
            if (r.tag == tag || r.parameter == tag) return &r;
        return nullptr;
    }
};

constexpr int32_t kPanelWidth = 450;
constexpr qgui::CColor kReadoutFontColor = {50, 50, 60, 255};
constexpr qgui::CColor kLatencyFontColor = {50, 50, 60, 255};
constexpr qgui::CColor kSettingFontColor = {170, 170, 170, 255};
constexpr const char* kVersionText = "v.1.7.0";

const Layout& grandpressLayout();
const Layout& tinypressLayout();
// The layout whose frame has this height (460: grandpress, 378: tinypress); null otherwise.
const Layout* layoutForHeight(int32_t frameHeight);

}  // namespace panel
