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
    kNoParam = 34,
    kScMonitor = 35,
    kVuIntegration = 36,
    kVuReference = 37,
    kPpmIntegration = 38,
    kPpmReturn = 39,
    kOverIndicator = 40,
    kNumParams = 41,  // engine-side values 0..40
    // Editor-only indices that set and clear the preset system's two-state flag.
    kPresetFlagOn = 54,
    kPresetFlagOff = 55,
};

constexpr int kNumHostParams = 34;

// The table: one row per index, each with the designer of the settings it drives.
struct ParamRows : param_table::RowsOf<EngineSettings, kNumParams, kNumHostParams> {
    static const param_table::Row<EngineSettings> kTable[kNumParams];
    static const double* defaults() { return kFactoryPrograms[0].values; }  // program 0
};
using Params = param_table::Table<ParamRows>;

}  // namespace tinypress
