// Jumps of the noise generator (DenormalNoise): each of its three words steps by shifts and xors
// only, so it is linear over the 32 bits of the word, and the word `steps` steps on is a fixed
// 32 x 32 bit matrix applied to it: the xor of the matrix's columns at the word's set bits. The
// vector noise runs (NoiseKernelImpl.h, NoiseQuartersImpl.h) start lanes part of a run ahead this
// way. The matrices are worked out at compile time.
#pragma once

#include <cstdint>

#include "dsp/DenormalNoise.h"

namespace qrx::dsp::noise {

// One step of word j (0-2), as DenormalNoise::next takes it.
constexpr std::uint32_t wordStep(int j, std::uint32_t s) noexcept {
    return j == 0 ? DenormalNoise::step1(s)
                  : (j == 1 ? DenormalNoise::step2(s) : DenormalNoise::step3(s));
}

// Column b of word j's matrix: where bit b alone goes after `steps` steps.
struct Jump {
    int steps;
    alignas(32) std::uint32_t column[3][32];
};

constexpr Jump jumpOf(int steps) noexcept {
    Jump t{steps, {}};
    for (int j = 0; j < 3; ++j)
        for (int b = 0; b < 32; ++b) {
            std::uint32_t s = 1u << b;
            for (int k = 0; k < steps; ++k) s = wordStep(j, s);
            t.column[j][b] = s;
        }
    return t;
}

// The word after the jump whose columns of one word are `column`.
constexpr std::uint32_t jumped(const std::uint32_t (&column)[32], std::uint32_t word) noexcept {
    std::uint32_t x = 0;
    for (int b = 0; b < 32; ++b)
        if ((word >> b) & 1u) x ^= column[b];
    return x;
}

// The jump `second` after `first` (second.steps + first.steps steps).
constexpr Jump composed(const Jump& second, const Jump& first) noexcept {
    Jump t{first.steps + second.steps, {}};
    for (int j = 0; j < 3; ++j)
        for (int b = 0; b < 32; ++b) t.column[j][b] = jumped(second.column[j], first.column[j][b]);
    return t;
}

// The jump of `steps` among `jumps`, or null.
template <class Jumps>
const Jump* jumpFor(const Jumps& jumps, int steps) noexcept {
    for (const Jump& t : jumps)
        if (t.steps == steps) return &t;
    return nullptr;
}

}  // namespace qrx::dsp::noise
