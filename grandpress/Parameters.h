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

// The indices both plug-ins share: kNoParam, kScMonitor .. kOverIndicator, kNumParams and
// kNumHostParams.
using enum param_table::SharedParam;
using param_table::kNumHostParams;

// This plug-in's host parameters.
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
};

// The rows (Parameters.cpp): one per index, each with the designer of the settings it drives. A
// new instance takes program 0's values.
extern const param_table::Row<EngineSettings> kParamRows[kNumParams];
using Params = param_table::Table<EngineSettings, kParamRows, kFactoryPrograms>;

}  // namespace grandpress
