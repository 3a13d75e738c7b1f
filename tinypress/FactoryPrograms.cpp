// The stereo mastering compressor's sixteen factory programs. Every program has Power on (0),
// the high side-chain filter selector (14), index 21 and the meter source (24) at 0.5 and Stereo
// (28) on; the hidden and unused indices 1, 7, 18, 19, 25, 26, 27 and 29..33 are 0. The other
// values differ per program and are listed column by column below.
#include "tinypress/FactoryPrograms.h"

namespace tinypress {
namespace {

// Values of indices 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 15, 16, 17, 20, 22, 23, in that order.
struct Varying {
    double v2, v3, v4, v5, v6, v8, v9, v10, v11, v12, v13, v15, v16, v17, v20, v22, v23;
};

constexpr FactoryProgram program(const Varying& p) {
    return {{
        1,     0,     p.v2,  p.v3,  p.v4, p.v5,  p.v6,  0,     p.v8, p.v9,  // 0..9
        p.v10, p.v11, p.v12, p.v13, 0.5,  p.v15, p.v16, p.v17, 0,    0,     // 10..19
        p.v20, 0.5,   p.v22, p.v23, 0.5,  0,     0,     0,     1,    0,     // 20..29
        0,     0,     0,     0,                                             // 30..33
    }};
}

}  // namespace

// clang-format off
const FactoryProgram kFactoryPrograms[kNumPrograms] = {
    //        2  3  4  5        6    8      9  10    11 12   13     15     16       17 20    22    23
    program({0, 0, 0, 0.1667,  0.3, 0.5,   0, 0.5,  0, 0.5, 1,     0,     0.33333, 0, 0.5,  1,    0.665}),  // Default
    program({1, 1, 0, 0.75,    0.4, 0.5,   0, 0.75, 0, 1,   1,     0,     0.41333, 0, 0.5,  1,    0.665}),  // Gentle Master
    program({1, 1, 1, 0.5,     0.4, 0.5,   1, 0.75, 1, 0.5, 1,     0.33,  0.33333, 1, 0.65, 1,    0.75}),   // PhatMix
    program({1, 1, 1, 0.58,    0.7, 0.95,  1, 1,    1, 1,   1,     0.35,  0.3333,  1, 0.75, 1,    0.665}),  // Mezzo Leveler
    program({1, 1, 1, 0.64,    0.8, 0.9,   1, 1,    1, 0.5, 1,     0,     0.3333,  1, 0.75, 1,    0.665}),  // Una Corda
    program({1, 1, 0, 0.3333,  0.1, 0.4,   0, 0.45, 1, 0.5, 1,     0.375, 0.3333,  1, 0.75, 0.8,  0.665}),  // A Kind of Freshness
    program({1, 1, 0, 0.42,    0,   0.4,   0, 0.45, 1, 0,   1,     0.375, 0.3633,  1, 0.75, 0.8,  0.665}),  // Peak Restore
    program({0, 0, 1, 0.49,    0.9, 0.5,   0, 0.25, 0, 0.5, 0.333, 0.19,  0.3333,  1, 0.5,  0.85, 0.665}),  // Damp it!
    program({1, 1, 0, 0.667,   0.4, 0.5,   0, 0.75, 1, 0.5, 1,     0,     0.33333, 1, 0.75, 0.8,  0.665}),  // SoftQuartet
    program({1, 1, 1, 0.5,     0.1, 0.333, 0, 0.75, 1, 0.5, 1,     0,     0.33333, 1, 0.75, 0.8,  0.665}),  // SharpQuartet
    program({1, 1, 0, 0.667,   0.7, 0.333, 0, 0.75, 1, 1,   1,     0.5,   0.25,    1, 0.5,  0.65, 0.665}),  // CelloConcerto
    program({1, 1, 0, 0.24995, 0.7, 0.333, 0, 0.5,  1, 0.5, 1,     0,     0.33333, 0, 0.5,  1,    0.665}),  // PeakSoftener
    program({1, 0, 1, 0.24995, 0.1, 0.25,  1, 0.5,  1, 0.5, 1,     0,     0.33333, 1, 0.5,  1,    0.665}),  // PeakEnhancer
    program({0, 0, 1, 0.8,     1,   0.2,   0, 0.5,  0, 0.5, 1,     0,     0.4,     1, 0.5,  1,    0.75}),   // HeavyDrumKit
    program({0, 0, 1, 0.85,    1,   0,     0, 0.45, 0, 0.5, 1,     0,     0.18,    1, 0.5,  0.55, 0.75}),   // SustainedDrums
    program({0, 0, 0, 0.35,    0.8, 0.2,   1, 0.45, 1, 0,   0,     0.375, 0.333,   1, 0.75, 1,    0.665}),  // KickPump
};
// clang-format on

}  // namespace tinypress
