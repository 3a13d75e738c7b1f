// A minimal effect built from the shell, used to drive the host from both sides: two parameters,
// stereo pass-through, and host requests made on demand through effVendorSpecific.
//
// Threads: the dispatcher calls arrive on the test's main thread, the process entries on
// whichever thread the test processes on. Counters are static so a test can see the effect's
// whole life, including its deletion by effClose.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "shell/AudioEffectX.h"

namespace host_test {

// effVendorSpecific indexes: ask the effect to make one host request and return its result.
enum Ask : VstInt32 {
    kAskAutomate = 1,         // value = parameter index, opt = new value
    kAskUpdateDisplay = 2,    // returns 1 when the host answered non-zero
    kAskInputConnected = 3,   // value = pin; returns 1 when connected
    kAskOutputConnected = 4,  // value = pin; returns 1 when connected
    kAskBeginEdit = 5,        // value = parameter index
    kAskEndEdit = 6,          // value = parameter index
    kAskCanDo = 7,            // asks "sendVstEvents"; returns the host's answer
    kAskOutputLatency = 8,    // returns the host's answer
};

// The parameter label of index 1 is deliberately longer than the 8 characters a label may have,
// so tests can see that the host hands over such a string whole instead of overrunning.
inline constexpr const char* kOverlongLabel = "a label far longer than eight characters";
inline constexpr float kInitialParameters[2] = {0.5f, 1.0f};
inline constexpr ERect kEditorRect = {0, 0, 120, 300};

struct Counters {
    std::atomic<int> constructed{0};
    std::atomic<int> destroyed{0};
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<int> resumed{0};
    std::atomic<int> suspended{0};
    std::atomic<int> closedWhileResumed{0};
    std::atomic<int> entryCalls{0};
};
Counters& counters();
void resetCounters();

class TestEffect : public AudioEffectX {
  public:
    explicit TestEffect(audioMasterCallback audioMaster);
    ~TestEffect() override;

    void open() override;
    void close() override;
    void resume() override;
    void suspend() override;

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1234; }
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // What the constructor was told by the host (asked while resvd1 was still empty).
    VstIntPtr sampleRateAtConstruction = 0;
    // The last speaker arrangements offered.
    VstSpeakerArrangement lastInput{};
    VstSpeakerArrangement lastOutput{};
    bool lastChunkWasPreset = false;
    // Set before processing to have each block ask whether input pin 0 is connected, as an
    // effect that mutes unconnected inputs would.
    std::atomic<bool> askPinsWhileProcessing{false};
    std::atomic<int> lastInputConnected{-1};

  private:
    std::atomic<float> parameters_[2];
    bool resumed_ = false;
    std::vector<std::uint8_t> chunk_;
};

// Mirrors shell/EntryPoint.cpp: refuses a host whose version answer is 0, never lets an exception
// out, returns the effect's record.
AEffect* testEntry(audioMasterCallback audioMaster);

// The effect object behind a record returned by testEntry.
inline TestEffect* objectOf(AEffect* effect) {
    return effect ? static_cast<TestEffect*>(static_cast<AudioEffect*>(effect->object)) : nullptr;
}

}  // namespace host_test
