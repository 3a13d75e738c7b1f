#include "tests/host/TestEffect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "shell/AEffEditor.h"

namespace host_test {
namespace {

constexpr const char* kParameterNames[2] = {"Gain", "Mix"};

void copyText(char* destination, const char* text) {
    std::strcpy(destination, text);
}

class TestEditor : public AEffEditor {
  public:
    explicit TestEditor(AudioEffect* effect) : AEffEditor(effect), rect_(kEditorRect) {}
    bool getRect(ERect** rect) override {
        *rect = &rect_;
        return true;
    }

  private:
    ERect rect_;
};

}  // namespace

Counters& counters() {
    static Counters instance;
    return instance;
}

void resetCounters() {
    Counters& c = counters();
    for (std::atomic<int>* counter :
         {&c.constructed, &c.destroyed, &c.opened, &c.closed, &c.resumed, &c.suspended,
          &c.closedWhileResumed, &c.entryCalls})
        counter->store(0);
}

TestEffect::TestEffect(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 2) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(vstFourCC('Q', 'T', 's', 't'));
    canProcessReplacing(true);
    canDoubleReplacing(true);
    programsAreChunks(true);
    for (int i = 0; i < 2; ++i) parameters_[i].store(kInitialParameters[i]);
    new TestEditor(this);  // owned by the effect from here on
    // Both requests go out before the host has put itself into resvd1.
    updateBlockSize();
    sampleRateAtConstruction = callHost(audioMasterGetSampleRate);
    counters().constructed.fetch_add(1);
}

TestEffect::~TestEffect() {
    destroyEditor();
    counters().destroyed.fetch_add(1);
}

void TestEffect::open() {
    counters().opened.fetch_add(1);
}

void TestEffect::close() {
    if (resumed_) counters().closedWhileResumed.fetch_add(1);
    counters().closed.fetch_add(1);
}

void TestEffect::resume() {
    resumed_ = true;
    counters().resumed.fetch_add(1);
    // A test of a tool that loads the library in its own process reads the order of the
    // instances' resumes, each named by its parameter 0, from the file QRX_FIXTURE_LOG names.
    if (const char* log = std::getenv("QRX_FIXTURE_LOG")) {
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "resume %.2f\n", static_cast<double>(parameters_[0].load()));
            std::fclose(f);
        }
    }
}

void TestEffect::suspend() {
    resumed_ = false;
    counters().suspended.fetch_add(1);
}

void TestEffect::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (askPinsWhileProcessing.load(std::memory_order_relaxed))
        lastInputConnected.store(isInputConnected(0) ? 1 : 0, std::memory_order_relaxed);
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i];
}

void TestEffect::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i];
}

void TestEffect::setParameter(VstInt32 index, float value) {
    if (index >= 0 && index < 2) parameters_[index].store(value, std::memory_order_relaxed);
}

float TestEffect::getParameter(VstInt32 index) {
    return index >= 0 && index < 2 ? parameters_[index].load(std::memory_order_relaxed) : 0.0f;
}

void TestEffect::getParameterName(VstInt32 index, char* text) {
    copyText(text, index >= 0 && index < 2 ? kParameterNames[index] : "");
}

void TestEffect::getParameterLabel(VstInt32 index, char* text) {
    copyText(text, index == 1 ? kOverlongLabel : "dB");
}

void TestEffect::getParameterDisplay(VstInt32 index, char* text) {
    std::snprintf(text, 8, "%.2f", getParameter(index));
}

void TestEffect::getProgramName(char* name) {
    copyText(name, "Init");
}

bool TestEffect::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    if (index != 0) return false;
    copyText(text, "Init");
    return true;
}

bool TestEffect::getEffectName(char* name) {
    copyText(name, "Test Effect");
    return true;
}

bool TestEffect::getVendorString(char* text) {
    copyText(text, "QRX");
    return true;
}

bool TestEffect::getProductString(char* text) {
    copyText(text, "QRX Test");
    return true;
}

bool TestEffect::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= 2) return false;
    std::snprintf(properties->label, sizeof properties->label, "In %d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    properties->arrangementType = kSpeakerArrStereo;
    return true;
}

bool TestEffect::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= 2) return false;
    std::snprintf(properties->label, sizeof properties->label, "Out %d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    properties->arrangementType = kSpeakerArrStereo;
    return true;
}

bool TestEffect::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
    if (index < 0 || index >= 2) return false;
    copyText(p->label, kParameterNames[index]);
    p->flags = kVstParameterCanRamp;
    return true;
}

bool TestEffect::setSpeakerArrangement(VstSpeakerArrangement* input,
                                       VstSpeakerArrangement* output) {
    lastInput = *input;
    lastOutput = *output;
    return input->numChannels == 2 && output->numChannels == 2;
}

VstInt32 TestEffect::getChunk(void** data, bool isPreset) {
    lastChunkWasPreset = isPreset;
    chunk_.resize(sizeof(float) * 2);
    for (int i = 0; i < 2; ++i) {
        const float value = getParameter(i);
        std::memcpy(chunk_.data() + i * sizeof(float), &value, sizeof value);
    }
    *data = chunk_.data();
    return static_cast<VstInt32>(chunk_.size());
}

VstInt32 TestEffect::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    lastChunkWasPreset = isPreset;
    if (data == nullptr || byteSize != static_cast<VstInt32>(sizeof(float) * 2)) return 0;
    for (int i = 0; i < 2; ++i) {
        float value = 0.0f;
        std::memcpy(&value, static_cast<const std::uint8_t*>(data) + i * sizeof(float),
                    sizeof value);
        setParameter(i, value);
    }
    return 1;
}

VstIntPtr TestEffect::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const auto pin = static_cast<VstInt32>(value);
    switch (index) {
        case kAskAutomate:
            setParameterAutomated(pin, opt);
            return 1;
        case kAskUpdateDisplay:
            return updateDisplay() ? 1 : 0;
        case kAskInputConnected:
            return isInputConnected(pin) ? 1 : 0;
        case kAskOutputConnected:
            return isOutputConnected(pin) ? 1 : 0;
        case kAskBeginEdit:
            return beginEdit(pin) ? 1 : 0;
        case kAskEndEdit:
            return endEdit(pin) ? 1 : 0;
        case kAskCanDo: {
            char capability[] = "sendVstEvents";
            return callHost(audioMasterCanDo, 0, 0, capability);
        }
        case kAskOutputLatency:
            return getOutputLatency();
        default:
            return 0;
    }
}

AEffect* testEntry(audioMasterCallback audioMaster) {
    counters().entryCalls.fetch_add(1);
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    try {
        return (new TestEffect(audioMaster))->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace host_test
