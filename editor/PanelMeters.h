// The two needle meters, placed alike on both panels (internal to the panel tables).
#pragma once

#include "editor/PanelLayout.h"

namespace panel {
extern const MeterSpec kLeftMeter;
extern const MeterSpec kRightMeter;
}  // namespace panel
