// Shared pieces of the tinypress tests: a private per-user store folder and a host callback that
// records what the effect asks of its host.
#pragma once

#include <string>
#include <vector>

#include "shell/vst2.h"

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

}  // namespace tinypress_test
