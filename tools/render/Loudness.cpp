#include "render/Loudness.h"

#ifdef QRX_HAVE_EBUR128
#include <ebur128.h>
#endif

namespace render {

#ifdef QRX_HAVE_EBUR128

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    int channels = 0;
};

bool LoudnessMeter::available() {
    return true;
}

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : state(new State) {
    state->channels = channels;
    state->meter =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                     EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
}

LoudnessMeter::~LoudnessMeter() {
    if (state->meter) ebur128_destroy(&state->meter);
}

void LoudnessMeter::add(const float* interleaved, long long frames) {
    if (state->meter && frames > 0)
        ebur128_add_frames_float(state->meter, interleaved, static_cast<size_t>(frames));
}

LoudnessFigures LoudnessMeter::figures() const {
    LoudnessFigures f;
    if (!state->meter) return f;
    double value = 0.0;
    if (ebur128_loudness_global(state->meter, &value) == EBUR128_SUCCESS) f.integratedLufs = value;
    if (!std::isfinite(f.integratedLufs)) f.integratedLufs = -INFINITY;
    if (ebur128_loudness_range(state->meter, &value) == EBUR128_SUCCESS && std::isfinite(value))
        f.rangeLu = value;
    double peak = 0.0;
    for (int c = 0; c < state->channels; ++c)
        if (ebur128_true_peak(state->meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS &&
            value > peak)
            peak = value;
    f.truePeakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -INFINITY;
    f.measured = true;
    return f;
}

#else

struct LoudnessMeter::State {};

bool LoudnessMeter::available() {
    return false;
}
LoudnessMeter::LoudnessMeter(int, int) {}
LoudnessMeter::~LoudnessMeter() = default;
void LoudnessMeter::add(const float*, long long) {}
LoudnessFigures LoudnessMeter::figures() const {
    return {};
}

#endif

}  // namespace render
