#include "dsp/HilbertKernel.h"

#include <cstring>
#include <numbers>

// The vector helpers below are inlined; their by-value AVX types never cross a call.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace qrx::dsp {
namespace {

typedef double Quad __attribute__((vector_size(32)));

// sum += h (forward - backward) on unaligned quads; by reference, as no vector-typed argument or
// result may depend on AVX in the default clone (clang refuses that ABI change outright).
inline void accumulate(Quad& sum, double h, const double* forward, const double* backward) {
    Quad f, b;
    std::memcpy(&f, forward, sizeof f);
    std::memcpy(&b, backward, sizeof b);
    sum += h * (f - b);
}

// `count` quads of outputs from `x` on, `count` independent sums in flight.
template <int count>
inline void sumQuads(const double* x, const double* h, int taps, double* q) {
    Quad a[count];
    for (Quad& s : a) s = Quad{0, 0, 0, 0};
    for (int i = 0; i < taps; ++i) {
        const double* f = x + (2 * i + 1);
        const double* r = x - (2 * i + 1);
        for (int j = 0; j < count; ++j) accumulate(a[j], h[i], f + 4 * j, r + 4 * j);
    }
    std::memcpy(q, a, sizeof a);
}

// All `quads` quads of outputs, four, two, then one at a time; inlined into each build of
// hilbertSums so that it is compiled for that build's instruction set.
[[gnu::always_inline]] inline void sumAllQuads(const double* centre, const double* kernel, int taps,
                                               int quads, double* q) {
    int b = 0;
    for (; b + 4 <= quads; b += 4) sumQuads<4>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b + 2 <= quads; b += 2) sumQuads<2>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b < quads; ++b) sumQuads<1>(centre + 4 * b, kernel, taps, q + 4 * b);
}

}  // namespace

void fillHilbertKernel(double* kernel, int taps, int size) noexcept {
    for (int i = 0; i < size; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
}

#if defined(_WIN32)

// Windows has no ifunc, which target_clones needs: both builds are compiled and the one this
// processor runs is picked once, when the library is loaded (not on the audio thread).
namespace {

using HilbertSumsFunction = void (*)(const double*, const double*, int, int, double*) noexcept;

[[gnu::target("avx2")]] void hilbertSumsAvx2(const double* centre, const double* kernel, int taps,
                                             int quads, double* q) noexcept {
    sumAllQuads(centre, kernel, taps, quads, q);
}

void hilbertSumsPlain(const double* centre, const double* kernel, int taps, int quads,
                      double* q) noexcept {
    sumAllQuads(centre, kernel, taps, quads, q);
}

HilbertSumsFunction pickHilbertSums() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &hilbertSumsAvx2 : &hilbertSumsPlain;
}

const HilbertSumsFunction chosenHilbertSums = pickHilbertSums();

}  // namespace

void hilbertSums(const double* centre, const double* kernel, int taps, int quads,
                 double* q) noexcept {
    chosenHilbertSums(centre, kernel, taps, quads, q);
}

#else

__attribute__((target_clones("avx2", "default"))) void hilbertSums(const double* centre,
                                                                   const double* kernel, int taps,
                                                                   int quads, double* q) noexcept {
    sumAllQuads(centre, kernel, taps, quads, q);
}

#endif

}  // namespace qrx::dsp
