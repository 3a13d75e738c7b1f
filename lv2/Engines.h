// The two engines as the LV2 adaptor sees them. Each bundle's libraries link the one they serve;
// the generator of the Turtle files links both.
#pragma once

#include "lv2/Ports.h"

namespace qrxlv2 {

const Engine& grandpressEngine();
const Engine& tinypressEngine();

}  // namespace qrxlv2
