// Integrated loudness (LUFS), loudness range (LU) and true peak (dBTP) of a stream of interleaved
// frames, after ITU-R BS.1770 and EBU R128, measured by libebur128. Builds without the library
// (Windows) measure nothing: available() is false there. Main thread only.
#pragma once

#include <cmath>
#include <memory>

namespace render {

struct LoudnessFigures {
    bool measured = false;
    double integratedLufs = -INFINITY;  // -inf for silence or less than 400 ms
    double rangeLu = 0.0;
    double truePeakDb = -INFINITY;  // largest over the channels
};

class LoudnessMeter {
  public:
    // Whether this build measures loudness at all.
    static bool available();

    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const float* interleaved, long long frames);
    LoudnessFigures figures() const;

  private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace render
