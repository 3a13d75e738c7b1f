#pragma once

#include "presets/ProgramStore.h"

namespace grandpress {
extern const FactoryProgram kFactoryPrograms[kNumPrograms];
}
