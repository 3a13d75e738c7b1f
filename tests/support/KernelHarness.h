// What the conformance suites of the vector kernels share: the kernel sets a suite is run for,
// the lengths and start offsets every kernel meets, and buffers with guard words before and after
// them. A kernel passes when, at every length and offset, it gives its reference's values within
// the suite's stated tolerance, writes nothing outside its buffers, and gives the same values
// whatever the guard words hold (it reads nothing outside them either).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/InstructionSet.h"

namespace testsupport {

// The plain per-frame code every kernel is held to, and the two built kernel sets.
enum class KernelCase { Reference, Baseline, Avx2 };

inline const char* kernelCaseName(KernelCase c) {
    switch (c) {
        case KernelCase::Reference:
            return "Reference";
        case KernelCase::Baseline:
            return "Baseline";
        case KernelCase::Avx2:
            return "Avx2";
    }
    return "?";
}

inline constexpr KernelCase kKernelCases[] = {KernelCase::Reference, KernelCase::Baseline,
                                              KernelCase::Avx2};

// For INSTANTIATE_TEST_SUITE_P(..., ::testing::ValuesIn(kKernelCases), kernelCaseTestName).
inline std::string kernelCaseTestName(const ::testing::TestParamInfo<KernelCase>& info) {
    return kernelCaseName(info.param);
}

// The instruction set a built case runs on (the reference has none; callers branch on it first).
inline qrx::dsp::InstructionSet instructionSetOf(KernelCase c) {
    return c == KernelCase::Avx2 ? qrx::dsp::InstructionSet::Avx2Fma
                                 : qrx::dsp::InstructionSet::Baseline;
}

// Call at the top of a case: an AVX2 case on a processor without AVX2+FMA is skipped, and says so
// where every test log shows it.
#define QRX_SKIP_UNLESS_RUNNABLE(kernelCase)                                                \
    do {                                                                                    \
        if ((kernelCase) == ::testsupport::KernelCase::Avx2 &&                              \
            ::qrx::dsp::bestInstructionSet() != ::qrx::dsp::InstructionSet::Avx2Fma)        \
            GTEST_SKIP() << "*** this processor has no AVX2+FMA: the AVX2 kernels are NOT " \
                            "checked here ***";                                             \
    } while (0)

// Short runs, both sides of every vector width the kernels use (2, 4, 8 doubles), and lengths
// around the chunk sizes.
inline constexpr int kKernelLengths[] = {0, 1, 2, 3, 4, 7, 8, 15, 16, 17, 63, 64, 65, 127, 128};

// Start offsets in doubles from a 64-byte boundary: aligned, and every misalignment a 256-bit
// load can meet.
inline constexpr int kKernelOffsets[] = {0, 1, 2, 3};

// A run of `length` doubles starting `offset` doubles past a 64-byte boundary, with guard words
// before and after it.
class GuardedBuffer {
  public:
    static constexpr int kGuardWords = 16;

    GuardedBuffer(int length, int offset, double guard = kGuardA)
        : length_(length), offset_(offset), words_(length + 2 * kGuardWords + offset + 8) {
        setGuards(guard);
    }

    double* data() { return alignedStart() + kGuardWords + offset_; }
    const double* data() const { return alignedStart() + kGuardWords + offset_; }
    int size() const { return length_; }
    double& operator[](int i) { return data()[i]; }
    double operator[](int i) const { return data()[i]; }

    // Fills the run (not the guards).
    void fill(const std::vector<double>& values) {
        for (int i = 0; i < length_; ++i) data()[i] = values[static_cast<size_t>(i)];
    }
    std::vector<double> values() const { return {data(), data() + length_}; }

    // Sets every guard word, before and after the run, to `guard`.
    void setGuards(double guard) {
        for (int i = 1; i <= kGuardWords; ++i) {
            data()[-i] = guard;
            data()[length_ - 1 + i] = guard;
        }
    }

    // Whether every guard word still holds `guard` (bit for bit).
    ::testing::AssertionResult guardsHold(double guard) const {
        for (int i = 1; i <= kGuardWords; ++i) {
            if (!sameBits(data()[-i], guard))
                return ::testing::AssertionFailure() << "written " << i << " before the run";
            if (!sameBits(data()[length_ - 1 + i], guard))
                return ::testing::AssertionFailure() << "written " << i - 1 << " after the run";
        }
        return ::testing::AssertionSuccess();
    }

    // Two guard values a kernel that reads past its run would tell apart: a huge number and a
    // quiet NaN.
    static constexpr double kGuardA = -7.5e300;
    static inline const double kGuardB = __builtin_nan("0x5a5a");

  private:
    static bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    double* alignedStart() const {
        auto at = reinterpret_cast<std::uintptr_t>(words_.data());
        // (the vector keeps 8 spare words for this rounding up)
        return reinterpret_cast<double*>((at + 63) & ~std::uintptr_t(63));
    }

    int length_;
    int offset_;
    mutable std::vector<double> words_;
};

// "n 17 offset 3" for failure messages.
inline std::string kernelRunName(int length, int offset) {
    return "n " + std::to_string(length) + " offset " + std::to_string(offset);
}

}  // namespace testsupport
