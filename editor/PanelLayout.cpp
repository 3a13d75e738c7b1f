// What both panels share: the two needle meters.
#include "editor/PanelLayout.h"

#include "editor/PanelParts.h"

namespace panel {

const MeterSpec kLeftMeter = {
    .faceBitmap = 19028,
    .stripBitmap = 19029,
    .lampBitmap = 19030,
    .stripPosition = {49, 104},
    .lampPosition = {115, 85},
    .pivot = {121, 116},
    .needle1Inner = 3,
    .needle1Outer = 70,
    .needle2Inner = 55,
    .needle2Outer = 70,
    .readout1 = {133, 87, 183, 97},
    .readout2 = {59, 87, 109, 97},
};

const MeterSpec kRightMeter = {
    .faceBitmap = 19031,
    .stripBitmap = 19032,
    .lampBitmap = 19033,
    .stripPosition = {256, 104},
    .lampPosition = {322, 85},
    .pivot = {328, 116},
    .needle1Inner = 3,
    .needle1Outer = 70,
    .needle2Inner = 55,
    .needle2Outer = 70,
    .readout1 = {340, 87, 390, 97},
    .readout2 = {266, 87, 316, 97},
};

const Layout* layoutForHeight(int32_t frameHeight) {
    if (frameHeight == grandpressLayout().frameHeight) return &grandpressLayout();
    if (frameHeight == tinypressLayout().frameHeight) return &tinypressLayout();
    return nullptr;
}

}  // namespace panel
