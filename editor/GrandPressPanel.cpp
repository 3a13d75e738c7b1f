// The grandpress panel: frame 450 x 460, both pages 450 x 444, the preset bar from y 444.

#include "editor/PanelParts.h"

namespace panel {
namespace {

const ControlSpec kFront[] = {
    latencyMs(428),
    latencySamples(428),
    kLeftMeterControl,
    kRightMeterControl,
    onOff(0, "Power", {42, 388, 76, 436}, 19015),
    verticalSwitch(23, "Meters", {206, 58, 244, 106}, 19034, 3, 48),
    onOff(1, "FAT", {250, 390, 282, 436}, 19022),
    onOff(2, "Soft", {292, 390, 324, 436}, 19023),
    onOff(3, "RMS", {334, 390, 366, 436}, 19024),
    onOff(4, "Limiter", {375, 390, 407, 436}, 19025),
    onOff(8, "AutoAttck", {104, 238, 134, 264}, 19016),
    onOff(26, "Smooth", {104, 277, 133, 302}, 19038),
    onOff(10, "AutoRel", {104, 316, 134, 342}, 19017),
    onOff(24, "Classic", {104, 355, 134, 381}, 19018),
    onOff(12, "AutoMakeup", {207, 316, 237, 342}, 19019),
    onOff(17, "LnkHighCut", {311, 238, 341, 264}, 19020),
    onOff(18, "LnkLowCut", {311, 278, 341, 304}, 19021),
    onOff(35, "S.C.Monit", {311, 159, 341, 185}, 19026),
    onOff(25, "S.C.Ext", {227, 159, 257, 185}, 19027),
    onOff(15, "LowSCF", {242, 147, 262, 163}, 19013),
    onOff(13, "HighSCF", {396, 147, 416, 163}, 19014),
    knob(6, "Ratio", {50, 165, 104, 219}, 19004, 21, 54, 0.3f),
    knob(7, "Attack", {50, 243, 104, 297}, 19005, 41, 54, 0.5f),
    knob(5, "Threshold", {136, 187, 224, 275}, 19002, 73, 88, 1.0f / 6.0f),
    knob(16, "Low", {257, 164, 311, 218}, 19008, 33, 54, 0.0f),
    knob(14, "High", {348, 164, 402, 218}, 19007, 33, 54, 1.0f),
    knob(19, "Link", {257, 243, 311, 297}, 19009, 41, 54, 0.5f),
    knob(20, "Tilt", {348, 243, 402, 297}, 19010, 41, 54, 0.5f),
    knob(22, "Output", {348, 321, 402, 375}, 19012, 49, 54, 0.5f),
    knob(21, "Mix", {257, 321, 311, 375}, 19011, 41, 54, 1.0f),
    knob(11, "Makeup", {153, 321, 207, 375}, 19003, 37, 54, 1.0f / 3.0f),
    knob(9, "Release", {50, 322, 104, 376}, 19006, 49, 54, 0.5f),
    pageSwitch(kFrontPageSwitchTag, {80, 404, 238, 422}),
};

const ControlSpec kBack[] = {
    knob(36, "VU Integr", {61, 206, 99, 243}, kSettingKnobBitmap, 51, 37, 0.5f),
    setting(36, {55, 243, 105, 255}, Converter::Milliseconds),
    knob(37, "VU Refer", {61, 256, 99, 293}, kSettingKnobBitmap, 51, 37, 0.5f),
    setting(37, {55, 293, 105, 305}, Converter::Dbfs),
    knob(38, "PPM Integr", {261, 206, 299, 243}, kSettingKnobBitmap, 51, 37, 0.52f),
    setting(38, {255, 243, 305, 255}, Converter::Milliseconds),
    knob(39, "PPM Return", {261, 256, 299, 293}, kSettingKnobBitmap, 51, 37, 0.72365f),
    setting(39, {255, 293, 305, 305}, Converter::Milliseconds),
    knob(40, "OverIndic", {61, 334, 99, 371}, kSettingKnobBitmap, 51, 37, 0.2222222f),
    setting(40, {65, 371, 95, 383}, Converter::Integer),
    kVersionLabel,
    kBackPageSwitch,
};

using RK = readout::Kind;

// In creation order (each right after its knob would be; the order does not show).
const ReadoutSpec kReadouts[] = {
    {41, 6, {50, 146, 102, 160}, false, 0.5, 64, RK::Ratio, true},
    {42, 7, {51, 224, 103, 238}, false, 0.01, 1000, RK::Attack, false},
    {44, 5, {147, 158, 213, 172}, true, -30, 6, RK::Threshold, false},
    // Low and High are 44 pixels wide (not 40: "16.0kHz" in Arial 11 would touch the edges),
    // centred on their knobs; High keeps clear of the HB button on its right.
    {45, 16, {262, 146, 306, 160}, false, 25, 400, RK::Low, true},
    {46, 14, {353, 146, 397, 160}, false, 1, 16, RK::High, true},
    {47, 19, {261, 225, 312, 239}, false, 0, 100, RK::Percent, true},
    {48, 20, {349, 225, 400, 239}, false, -50, 50, RK::Tilt, true},
    {50, 22, {349, 303, 400, 317}, false, -12, 12, RK::Gain, true},
    {49, 21, {261, 303, 312, 317}, false, 0, 100, RK::Percent, true},
    {51, 11, {153, 302, 205, 316}, false, -12, 24, RK::Gain, false},
    {43, 9, {51, 303, 103, 317}, false, 100, 10000, RK::Release, false},
};

const Layout kLayout = {
    .name = "grandpress",
    .frameHeight = 460,
    .barTop = 444,
    .metersParameter = 23,
    .scExtParameter = 25,
    .readoutBackColor = {255, 255, 255, 255},
    .front = kFront,
    .back = kBack,
    .readouts = kReadouts,
};

}  // namespace

const Layout& grandpressLayout() {
    return kLayout;
}

}  // namespace panel
