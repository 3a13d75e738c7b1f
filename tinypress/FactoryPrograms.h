// The stereo mastering compressor's sixteen factory programs (names: kFactoryProgramNames).
#pragma once

#include "presets/ProgramStore.h"

namespace tinypress {
extern const FactoryProgram kFactoryPrograms[kNumPrograms];
}
