// Shared pieces of the tinypress tests (the host callback and the private store folder are
// testsupport's, support/CallbackRecorder.h).
#pragma once

#include <cstring>

#include "support/CallbackRecorder.h"
#include "tinypress/EngineSettings.h"

namespace tinypress_test {

// True when the side-chain shelf targets in `s` are exactly the designs of the two shapes at its
// rate.
inline bool shelvesAre(const tinypress::EngineSettings& s, const tinypress::ShelfShape& low,
                       const tinypress::ShelfShape& high) {
    tinypress::EngineSettings expected;
    expected.rateHz = s.rateHz;
    tinypress::designShelves(expected, low, high);
    return std::memcmp(&expected.lowShelf, &s.lowShelf, sizeof s.lowShelf) == 0 &&
           std::memcmp(&expected.highShelf, &s.highShelf, sizeof s.highShelf) == 0;
}

}  // namespace tinypress_test
