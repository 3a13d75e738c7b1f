// The stereo mastering compressor's parameter table: one row per index drives the name, the
// display text, the editor's physical value, the host properties and the engine settings it
// designs (Params answers from it; presets/ParamTable.h). Indices 0..33 are host
// parameters; several of them are hidden (" - ") and only keep the family's common layout, so
// programs, chunks and automation line up with the larger sibling. 34 is empty; 35..40 are set
// by the editor (side-chain monitor, meter ballistics).
// Pure data and functions; any thread.
#pragma once

#include "presets/ParamTable.h"
#include "tinypress/FactoryPrograms.h"

namespace tinypress {

struct EngineSettings;

// The indices both plug-ins share: kNoParam, kScMonitor .. kOverIndicator, kNumParams and
// kNumHostParams.
using enum param_table::SharedParam;
using param_table::kNumHostParams;

// This plug-in's host parameters.
enum Param : int {
    kPower = 0,
    kReset = 1,  // hidden; any write resets the signal path
    kSoft = 2,
    kRms = 3,
    kHiddenSwitch = 4,
    kThreshold = 5,
    kRatio = 6,
    kHidden7 = 7,
    kAttack = 8,
    kHidden9 = 9,
    kRelease = 10,
    kAutoRelease = 11,
    kLowScf = 12,
    kLowCorner = 13,  // hidden
    kHighScf = 14,
    kHighCorner = 15,  // hidden
    kMakeup = 16,
    kAutoMakeup = 17,
    kHidden18 = 18,
    kHidden19 = 19,
    kLink = 20,
    kHidden21 = 21,
    kMix = 22,
    kOutput = 23,
    kMeters = 24,
    kClassic = 25,
    kScExt = 26,
    kSmooth = 27,
    kStereo = 28,
    kFirstSpare = 29,
    kLastSpare = 33,
    // Editor-only indices that set and clear the preset system's two-state flag.
    kPresetFlagOn = 54,
    kPresetFlagOff = 55,
};

// The rows (Parameters.cpp): one per index, each with the designer of the settings it drives. A
// new instance takes program 0's values.
extern const param_table::Row<EngineSettings> kParamRows[kNumParams];
using Params = param_table::Table<EngineSettings, kParamRows, kFactoryPrograms>;

}  // namespace tinypress
