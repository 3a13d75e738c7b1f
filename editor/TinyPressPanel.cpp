// The tinypress panel: frame 450 x 378, front page 450 x 360, back page 450 x 359, the preset bar
// from y 362.

#include "editor/PanelParts.h"

namespace panel {
namespace {

const ControlSpec kFront[] = {
    latencyMs(346),
    latencySamples(346),
    kLeftMeterControl,
    kRightMeterControl,
    onOff(0, "Power", {40, 308, 77, 354}, 19015),
    verticalSwitch(24, "Meters", {206, 58, 244, 105}, 19034, 3, 47),
    onOff(2, "Soft", {312, 160, 338, 186}, 19023),
    onOff(3, "RMS", {104, 160, 130, 186}, 19024),
    onOff(28, "Stereo", {332, 308, 368, 355}, 19016),
    onOff(27, "Smooth", {292, 308, 325, 354}, 19038),
    onOff(20, "Link", {375, 308, 407, 354}, 19009),
    onOff(11, "AutoRel", {104, 238, 130, 264}, 19017),
    onOff(17, "AutoMakeup", {311, 237, 337, 263}, 19019),
    onOff(35, "S.C.Monit", {378, 160, 404, 186}, 19026),
    onOff(26, "S.C.Ext", {345, 160, 371, 186}, 19027),
    verticalSwitch(12, "LowSCF", {350, 198, 373, 223}, 19013, 3, 25),
    verticalSwitch(14, "HighSCF", {375, 198, 400, 223}, 19014, 3, 25),
    knob(6, "Ratio", {250, 160, 310, 220}, 19004, 21, 60, 0.3f),
    knob(8, "Attack", {45, 160, 104, 220}, 19005, 21, 60, 0.5f),
    knob(5, "Threshold", {134, 185, 224, 275}, 19002, 37, 90, 1.0f / 6.0f),
    knob(23, "Output", {345, 240, 405, 300}, 19012, 37, 60, 0.665f),
    knob(16, "Makeup", {251, 240, 311, 300}, 19003, 37, 60, 1.0f / 3.0f),
    knob(10, "Release", {44, 240, 104, 300}, 19006, 25, 60, 0.5f),
    pageSwitch(kFrontPageSwitchTag, {100, 320, 260, 340}),
};

const ControlSpec kBack[] = {
    knob(36, "VU Integr", {61, 165, 99, 202}, kSettingKnobBitmap, 51, 37, 0.5f),
    setting(36, {55, 202, 105, 214}, Converter::Milliseconds),
    knob(37, "VU Refer", {61, 215, 99, 252}, kSettingKnobBitmap, 51, 37, 0.5f),
    setting(37, {55, 252, 105, 264}, Converter::Dbfs),
    knob(38, "PPM Integr", {261, 165, 299, 202}, kSettingKnobBitmap, 51, 37, 0.52f),
    setting(38, {255, 202, 305, 214}, Converter::Milliseconds),
    knob(39, "PPM Return", {261, 215, 299, 252}, kSettingKnobBitmap, 51, 37, 0.72365f),
    setting(39, {255, 252, 305, 264}, Converter::Milliseconds),
    knob(40, "OverIndic", {61, 293, 99, 330}, kSettingKnobBitmap, 51, 37, 0.2222222f),
    setting(40, {65, 330, 95, 342}, Converter::Integer),
    kVersionLabel,
    kBackPageSwitch,
};

using RK = readout::Kind;

const ReadoutSpec kReadouts[] = {
    {41, 6, {250, 146, 302, 160}, false, 0.5, 64, RK::Ratio, true},
    {42, 8, {45, 146, 97, 160}, false, 0.01, 1000, RK::Attack, false},
    {44, 5, {145, 159, 211, 173}, true, -30, 6, RK::Threshold, false},
    {50, 23, {345, 226, 396, 240}, false, -12, 12, RK::Gain, true},
    {51, 16, {251, 226, 303, 240}, false, -12, 24, RK::Gain, false},
    {43, 10, {44, 226, 96, 240}, false, 33, 3333, RK::Release, false},
};

const Layout kLayout = {
    .name = "tinypress",
    .frameHeight = 378,
    .barTop = 362,
    .metersParameter = 24,
    .scExtParameter = 26,
    .readoutBackColor = {230, 230, 230, 255},
    .front = kFront,
    .back = kBack,
    .readouts = kReadouts,
};

}  // namespace

const Layout& tinypressLayout() {
    return kLayout;
}

}  // namespace panel
