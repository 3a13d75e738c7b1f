// The master compressor's parameter table: one row per index drives the name, the display text,
// the editor's physical value, the host properties and the engine settings it designs (Params
// answers from it; presets/ParamTable.h). Indices 0..33 are host parameters (27..33 spare), 34 is
// empty, 35..40 engine-only (side-chain monitor, meter ballistics).
// Pure data and functions; any thread.
#pragma once

#include "grandpress/FactoryPrograms.h"
#include "presets/ParamTable.h"

namespace grandpress {

struct EngineSettings;

enum Param : int {
    kPower = 0,
    kFat,
    kSoft,
    kRms,
    kLimiter,
    kThreshold,
    kRatio,
    kAttack,
    kAutoAttack,
    kRelease,
    kAutoRelease,
    kMakeup,
    kAutoMakeup,
    kHighScf,
    kHigh,
    kLowScf,
    kLow,
    kLinkHighCut,
    kLinkLowCut,
    kLink,
    kTilt,
    kMix,
    kOutput,
    kMeters,
    kClassic,
    kScExt,
    kSmooth,
    kFirstSpare = 27,
    kLastSpare = 33,
    kNoParam = 34,
    kScMonitor = 35,
    kVuIntegration = 36,
    kVuReference = 37,
    kPpmIntegration = 38,
    kPpmReturn = 39,
    kOverIndicator = 40,
    kNumParams = 41,  // engine-side values 0..40
};

constexpr int kNumHostParams = 34;

// The table: one row per index, each with the designer of the settings it drives.
struct ParamRows : param_table::RowsOf<EngineSettings, kNumParams, kNumHostParams> {
    static const param_table::Row<EngineSettings> kTable[kNumParams];
    static const double* defaults() { return kFactoryPrograms[0].values; }  // program 0
};
using Params = param_table::Table<ParamRows>;

}  // namespace grandpress
