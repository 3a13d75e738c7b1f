// Shared pieces of the tinypress tests: a private per-user store folder and a host callback that
// records what the effect asks of its host.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "shell/vst2.h"
#include "tinypress/EngineSettings.h"

namespace tinypress_test {

// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's lifetime, then removes the
// folder and restores the previous value.
class TempConfigHome {
  public:
    TempConfigHome();
    ~TempConfigHome();
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    const std::string& path() const { return folder; }

  private:
    std::string folder;
    std::string previous;
    bool hadPrevious = false;
};

// Host callback answering version 2400 and recording every opcode it receives.
VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        void* ptr, float opt);
std::vector<VstInt32>& recordedOpcodes();

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
