// Stand-in of the NRTX host's engine library Motor.so: the few exports a plug-in library
// relies on, plus settings a host program or test uses to play different engines.
// Main thread (the engine's exports are called during plug-in loading and construction).
#pragma once

#include <cstdint>

#include "nrtx/NrtxAbi.h"

extern "C" {

struct MotorSettings {
    std::int32_t maximumQuantum;  // answered by _FicGetMaximumNRTXQuantum, samples
    std::int32_t answersQuantum;  // 1: FicGestalt answers 'vqta'
    std::int32_t sampleRate;      // answered for 'srat', Hz; 0 = not running
};

// Engine exports.
void SetPlugInOpenAndCloseProcs(nrtx::PlugInProc open, nrtx::PlugInProc close);
std::int32_t FicGestalt(std::uint32_t selector, std::int32_t* response);
std::int32_t _FicGetMaximumNRTXQuantum();

// Stand-in controls.
void MotorConfigure(const MotorSettings* settings);
void MotorGetSettings(MotorSettings* settings);
void MotorRegisteredProcs(nrtx::PlugInProc* open, nrtx::PlugInProc* close);
}

using MotorConfigureProc = void (*)(const MotorSettings*);
using MotorGetSettingsProc = void (*)(MotorSettings*);
using MotorRegisteredProcsProc = void (*)(nrtx::PlugInProc*, nrtx::PlugInProc*);
