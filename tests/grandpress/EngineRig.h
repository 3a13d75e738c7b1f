// A GrandPress driven as a host would: rate set, program values applied, resumed, then fed whole
// signals in blocks. For the signal-path tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/InstructionSet.h"
#include "grandpress/GrandPress.h"
#include "grandpress/Parameters.h"
#include "grandpress/SignalPath.h"
#include "support/CallbackRecorder.h"
#include "support/KernelSets.h"

namespace testsupport {

struct EngineRig {
    TemporaryConfigHome config;
    std::unique_ptr<grandpress::GrandPress> effect;

    explicit EngineRig(float rate = 44100.0f, audioMasterCallback host = nullptr)
        : effect(std::make_unique<grandpress::GrandPress>(host)) {
        restart(rate);
    }

    // Suspend, new rate, resume: the path starts from cleared state.
    void restart(float rate) {
        AEffect* e = effect->getAeffect();
        e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    }

    void set(int index, float value) { effect->setParameter(index, value); }

    // Runs `left`/`right` (side chain = main) through processDoubleReplacing in blocks.
    template <typename Sample = double>
    void run(const std::vector<double>& left, const std::vector<double>& right,
             std::vector<double>& outLeft, std::vector<double>& outRight, int block = 512) {
        const size_t n = left.size();
        outLeft.assign(n, 0.0);
        outRight.assign(n, 0.0);
        std::vector<Sample> l(block), r(block), ol(block), orr(block);
        for (size_t pos = 0; pos < n; pos += block) {
            const int frames = static_cast<int>(std::min<size_t>(block, n - pos));
            for (int i = 0; i < frames; ++i) {
                l[i] = static_cast<Sample>(left[pos + i]);
                r[i] = static_cast<Sample>(right[pos + i]);
            }
            Sample* ins[4] = {l.data(), r.data(), l.data(), r.data()};
            Sample* outs[2] = {ol.data(), orr.data()};
            if constexpr (sizeof(Sample) == sizeof(float))
                effect->processReplacing(ins, outs, frames);
            else
                effect->processDoubleReplacing(ins, outs, frames);
            for (int i = 0; i < frames; ++i) {
                outLeft[pos + i] = ol[i];
                outRight[pos + i] = orr[i];
            }
        }
    }

    const grandpress::EngineSettings& settings() const { return effect->signalPath()->settings(); }
};

// Index of the largest magnitude.
inline size_t peakIndex(const std::vector<double>& x) {
    size_t best = 0;
    for (size_t i = 1; i < x.size(); ++i)
        if (std::abs(x[i]) > std::abs(x[best])) best = i;
    return best;
}

}  // namespace testsupport
