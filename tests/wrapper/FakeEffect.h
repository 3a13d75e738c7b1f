// A configurable VST 2.4 effect for the adaptor's tests, built as its own library
// (test-fixtures/wrapper_fake_effect.so, entry "main") so the adaptor loads it by path exactly
// as it loads tinypress. The test reaches the same library instance through dlopen and
// configures it before the adaptor calls the entry.
//
// Processing: each main output is its input delayed by `initialDelay` frames (so bypassed and
// processed output can be compared sample by sample); the side-chain inputs are only measured.
// Every further channel is used as a real effect would: its input is measured, and its output
// written (with kSurplusOutput).
#pragma once

#include "shell/vst2.h"

namespace fake {

constexpr int kMaxParams = 64;
constexpr int kMaxPrograms = 8;
constexpr int kMaxDelay = 4096;
constexpr float kSurplusOutput = 0.25f;

enum Display : int {
    kLinearDb = 0,       // "%.2fdB" of -12 + 18 v, label "dB"
    kSwitch = 1,         // "Off" below 0.5, else "On"
    kOffMidpoint = 2,    // "%.2f" of 10 v^2 (0.5 -> 2.50, not the midpoint 5.00)
    kHidden = 3,         // empty text at every value
    kMinusInfinity = 4,  // "-" U+221E " dB" at 0, else "%.1f dB" of 40 log10 v
};

struct Config {
    // Set before loading.
    int numParams;
    int numPrograms;
    int numInputs;
    int numOutputs;
    int flags;
    int magic;
    int initialDelay;
    Display display[kMaxParams];
    // State, read by tests.
    float values[kMaxPrograms][kMaxParams];
    char programNames[kMaxPrograms][32];
    int program;
    int setParameterCalls;
    int processCalls;
    int maxFramesPerCall;
    long long framesProcessed;
    int eventsReceived;
    int lastEventStatus;
    float sideChainPeak;
    float surplusInputPeak;  // channels 4 and up
    int editIdleCalls;
    int opened;
    int resumed;
    VstInt32 blockSize;
    float sampleRate;
    audioMasterCallback master;
};

}  // namespace fake

// Exported by the fixture library.
extern "C" fake::Config* fakeEffectConfig();
extern "C" void fakeEffectReset();
using FakeConfigProc = fake::Config* (*)();
using FakeResetProc = void (*)();
