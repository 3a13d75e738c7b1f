// The host's samples as they enter an engine and leave it, a run at a time; both engines take
// their four input streams in through here, so they hold them alike.
//
// In (finiteInput is the rule, the runs apply it without branches so that the loops run on
// vectors): NaN and infinities become 0, finite values are held inside a bound. The main pair is
// held inside +-1e6 (+120 dBFS), so that no square or sum further on can overflow. The side chain,
// all that the detectors see, is held inside +-64 (+36 dBFS): 24 dB above the loudest signal a
// mix carries (+12 dBFS), yet low enough that one stray sample of any size, a glitch of a host or
// a driver, cannot lift the envelope so far that its release takes seconds. Every sample within
// the bounds passes unchanged.
// Out: the engine's doubles as the host's floats.
//
// The runs are kernels of the dsp table (Kernels.h): built once for plain x86-64 and once for
// AVX2; the signal paths pick a table per block. finiteInput and a plain cast are their
// reference.
//
// Threads: audio thread (the signal paths' input and output). Pure.
#pragma once

namespace qrx::dsp {

// The bounds of finite input samples: the main pair's, and the side chain's (what the detectors
// see). Both are exact in single precision.
inline constexpr double kMainInputHold = 1e6;
inline constexpr double kDetectorCeiling = 64.0;

// The bound of input stream `stream` (main left, main right, side left, side right).
constexpr double inputHoldOf(int stream) noexcept {
    return stream < 2 ? kMainInputHold : kDetectorCeiling;
}

// A host sample made safe to enter an engine: NaN and infinities become 0, finite values are held
// inside +-hold.
inline double finiteInput(double x, double hold) noexcept {
    if (x >= -hold && x <= hold) return x;  // false for NaN
    if (x > hold && x <= 1.7976931348623157e308) return hold;
    if (x < -hold && x >= -1.7976931348623157e308) return -hold;
    return 0.0;
}

// The runs (n samples each; `hold` exact in the host's type).
struct HostSampleKernels {
    void (*finiteFloats)(const float* from, double* to, int n, double hold) noexcept;
    void (*finiteDoubles)(const double* from, double* to, int n, double hold) noexcept;
    void (*toFloats)(const double* from, float* to, int n) noexcept;
};

// n host samples of input stream `stream` made finite and held into `to`, for either host type.
inline void finiteInputs(const HostSampleKernels& k, int stream, const float* from, double* to,
                         int n) noexcept {
    k.finiteFloats(from, to, n, inputHoldOf(stream));
}
inline void finiteInputs(const HostSampleKernels& k, int stream, const double* from, double* to,
                         int n) noexcept {
    k.finiteDoubles(from, to, n, inputHoldOf(stream));
}

}  // namespace qrx::dsp
