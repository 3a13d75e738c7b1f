#include "tests/wrapper/FakeEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#define FAKE_EXPORT extern "C"  // fake-effect.def lists the exports
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

fake::Config config;
AEffect effect;
float delayLine[2][fake::kMaxDelay];
int delayPos = 0;
char chunkBytes[4] = {'f', 'a', 'k', 'e'};

float* values() {
    return config.values[config.program];
}

void display(int index, char* text) {
    const float v = values()[index];
    switch (config.display[index]) {
        case fake::kLinearDb:
            std::snprintf(text, 24, "%.2fdB", -12.0 + 18.0 * v);
            break;
        case fake::kSwitch:
            std::strcpy(text, v < 0.5f ? "Off" : "On");
            break;
        case fake::kOffMidpoint:
            std::snprintf(text, 24, "%.2f", 10.0 * v * v);
            break;
        case fake::kHidden:
            text[0] = '\0';
            break;
        case fake::kMinusInfinity:
            if (v <= 0.0f)
                std::strcpy(text, "-\xE2\x88\x9E dB");
            else
                std::snprintf(text, 24, "%.1f dB", 40.0 * std::log10(v));
            break;
    }
}

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) {
    switch (opcode) {
        case effOpen:
            config.opened = 1;
            return 0;
        case effClose:
            config.opened = 0;
            return 0;
        case effSetProgram:
            if (value >= 0 && value < config.numPrograms) config.program = static_cast<int>(value);
            return 0;
        case effGetProgram:
            return config.program;
        case effSetProgramName:
            std::snprintf(config.programNames[config.program], 32, "%s",
                          static_cast<const char*>(ptr));
            return 0;
        case effGetProgramName:
            std::strcpy(static_cast<char*>(ptr), config.programNames[config.program]);
            return 0;
        case effGetParamLabel:
            std::strcpy(static_cast<char*>(ptr),
                        config.display[index] == fake::kLinearDb ? "dB" : "");
            return 0;
        case effGetParamDisplay:
            display(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            std::snprintf(static_cast<char*>(ptr), 24, "Param%d", index);
            return 0;
        case effSetSampleRate:
            config.sampleRate = opt;
            return 0;
        case effSetBlockSize:
            config.blockSize = static_cast<VstInt32>(value);
            return 0;
        case effMainsChanged:
            config.resumed = static_cast<int>(value);
            return 0;
        case effEditIdle:
            ++config.editIdleCalls;
            return 0;
        case effGetChunk:
            *static_cast<void**>(ptr) = chunkBytes;
            return sizeof chunkBytes;
        case effProcessEvents: {
            const auto* events = static_cast<const VstEvents*>(ptr);
            config.eventsReceived += events->numEvents;
            if (events->numEvents > 0)
                config.lastEventStatus =
                    static_cast<unsigned char>(events->events[events->numEvents - 1]->data[8]);
            return 1;
        }
        default:
            return 0;
    }
}

void setParameter(AEffect*, VstInt32 index, float value) {
    if (index < 0 || index >= config.numParams) return;
    ++config.setParameterCalls;
    values()[index] = value;
}

float getParameter(AEffect*, VstInt32 index) {
    return index >= 0 && index < config.numParams ? values()[index] : 0.0f;
}

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    ++config.processCalls;
    if (frames > config.maxFramesPerCall) config.maxFramesPerCall = frames;
    config.framesProcessed += frames;
    const int delay = config.initialDelay;
    for (VstInt32 i = 0; i < frames; ++i) {
        if (config.numInputs >= 3) {
            const float s = std::fabs(inputs[2][i]);
            if (s > config.sideChainPeak) config.sideChainPeak = s;
        }
        const int readPos = (delayPos - delay + fake::kMaxDelay) % fake::kMaxDelay;
        for (int c = 0; c < 2 && c < config.numOutputs; ++c) {
            const float in = inputs[c < config.numInputs ? c : 0][i];
            delayLine[c][delayPos] = in;
            outputs[c][i] = delayLine[c][readPos];
        }
        delayPos = (delayPos + 1) % fake::kMaxDelay;
        for (int c = 4; c < config.numInputs || c < config.numOutputs; ++c) {
            if (c < config.numInputs)
                config.surplusInputPeak =
                    std::fmax(config.surplusInputPeak, std::fabs(inputs[c][i]));
            if (c < config.numOutputs) outputs[c][i] = fake::kSurplusOutput;
        }
    }
}

}  // namespace

FAKE_EXPORT void fakeEffectReset() {
    std::memset(&config, 0, sizeof config);
    std::memset(delayLine, 0, sizeof delayLine);
    delayPos = 0;
    config.numParams = 4;
    config.numPrograms = 2;
    config.numInputs = 4;
    config.numOutputs = 2;
    config.flags = effFlagsCanReplacing;
    config.magic = kEffectMagic;
    for (int p = 0; p < fake::kMaxPrograms; ++p)
        std::snprintf(config.programNames[p], 32, "Program %d", p + 1);
}

FAKE_EXPORT fake::Config* fakeEffectConfig() {
    return &config;
}

FAKE_EXPORT AEffect* fakeMain(audioMasterCallback master) __asm__("main");

AEffect* fakeMain(audioMasterCallback master) {
    if (master == nullptr || master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    config.master = master;
    std::memset(&effect, 0, sizeof effect);
    effect.magic = config.magic;
    effect.dispatcher = dispatcher;
    effect.setParameter = setParameter;
    effect.getParameter = getParameter;
    effect.processReplacing = processReplacing;
    effect.numPrograms = config.numPrograms;
    effect.numParams = config.numParams;
    effect.numInputs = config.numInputs;
    effect.numOutputs = config.numOutputs;
    effect.flags = config.flags;
    effect.initialDelay = config.initialDelay;
    effect.uniqueID = vstFourCC('F', 'a', 'k', 'e');
    return &effect;
}
