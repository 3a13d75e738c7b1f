// What values a parameter of our plug-ins takes, in words for lists and messages. Main thread.
#pragma once

#include <string>

namespace units {
struct Param;
}

namespace render {

// "-30.10 dB .. 6.02 dB", "on or off", "Pre, GainRed or Post", "0.50:1 .. 64.00:1 in 21 steps".
std::string valuesOf(const units::Param& p);

}  // namespace render
