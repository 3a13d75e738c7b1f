// What both panel tables are built from (internal to them): the needle meters, the parts both
// panels place alike, and the builders of their controls. Pure data; any thread.
#pragma once

#include "editor/PanelLayout.h"

namespace panel {

extern const MeterSpec kLeftMeter;
extern const MeterSpec kRightMeter;

constexpr ControlSpec onOff(int32_t tag, const char* name, qgui::CRect r, int32_t bitmap) {
    return {.kind = Kind::OnOffButton, .tag = tag, .name = name, .rect = r, .bitmap = bitmap};
}

constexpr ControlSpec knob(int32_t tag, const char* name, qgui::CRect r, int32_t bitmap,
                           int32_t frames, int32_t frameHeight, float defaultValue) {
    return {.kind = Kind::Knob,
            .tag = tag,
            .name = name,
            .rect = r,
            .bitmap = bitmap,
            .frames = frames,
            .frameHeight = frameHeight,
            .hasDefault = true,
            .defaultValue = defaultValue};
}

constexpr ControlSpec verticalSwitch(int32_t tag, const char* name, qgui::CRect r, int32_t bitmap,
                                     int32_t positions, int32_t positionHeight) {
    return {.kind = Kind::VerticalSwitch,
            .tag = tag,
            .name = name,
            .rect = r,
            .bitmap = bitmap,
            .positions = positions,
            .positionHeight = positionHeight};
}

constexpr ControlSpec pageSwitch(int32_t tag, qgui::CRect r) {
    return {.kind = Kind::PageSwitch, .tag = tag, .name = "page switch", .rect = r, .bitmap = 0};
}

// A back-page display of meter setting `index` below its knob.
constexpr ControlSpec setting(int32_t index, qgui::CRect r, Converter converter) {
    return {.kind = Kind::BackDisplay,
            .tag = -1,
            .name = "setting",
            .rect = r,
            .bitmap = kBackPageBitmap,
            .shows = Shows::Setting,
            .converter = converter,
            .backOffset = {r.left, r.top},
            .setting = index};
}

// The latency in milliseconds and in samples, on the front page's bottom line from `top`.
constexpr ControlSpec latencyMs(qgui::CCoord top) {
    return {.kind = Kind::BackDisplay,
            .tag = -1,
            .name = "latency ms",
            .rect = {112, top, 157, top + 10},
            .bitmap = kFrameBitmap,
            .shows = Shows::LatencyMs,
            .converter = Converter::Milliseconds,
            .backOffset = {120, top}};
}
constexpr ControlSpec latencySamples(qgui::CCoord top) {
    return {.kind = Kind::BackDisplay,
            .tag = -1,
            .name = "latency samples",
            .rect = {162, top, 207, top + 10},
            .bitmap = kFrameBitmap,
            .shows = Shows::LatencySamples,
            .converter = Converter::Samples,
            .backOffset = {167, top}};
}

// The needle meters, at the same place on both front pages.
constexpr ControlSpec kLeftMeterControl = {.kind = Kind::Meter,
                                           .tag = kMeterTag,
                                           .name = "left meter",
                                           .rect = {49, 34, 195, 104},
                                           .bitmap = 19028,
                                           .meter = &kLeftMeter};
constexpr ControlSpec kRightMeterControl = {.kind = Kind::Meter,
                                            .tag = kMeterTag,
                                            .name = "right meter",
                                            .rect = {256, 34, 402, 104},
                                            .bitmap = 19031,
                                            .meter = &kRightMeter};

// The back page's version label and its switch back to the front, alike on both panels.
constexpr ControlSpec kVersionLabel = {.kind = Kind::Label,
                                       .tag = -1,
                                       .name = "version",
                                       .rect = {294, 45, 338, 56},
                                       .bitmap = 0,
                                       .text = kVersionText};
constexpr ControlSpec kBackPageSwitch = pageSwitch(kBackPageSwitchTag, {110, 36, 338, 134});

}  // namespace panel
