// render_compare: compares two renders sample by sample.
//   render_compare REFERENCE.wav CANDIDATE.wav TOLERANCE
// Prints the largest difference and where it occurs; exits 1 when the files differ in length,
// channels or rate, or when any sample differs by more than TOLERANCE (0: bit-identical).
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Render {
    SF_INFO info{};
    std::vector<double> samples;
};

bool readRender(const char* path, Render& r) {
    SNDFILE* f = sf_open(path, SFM_READ, &r.info);
    if (!f) {
        std::fprintf(stderr, "render_compare: cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    r.samples.resize(static_cast<size_t>(r.info.frames) * static_cast<size_t>(r.info.channels));
    const sf_count_t got = sf_readf_double(f, r.samples.data(), r.info.frames);
    sf_close(f);
    return got == r.info.frames;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_compare REFERENCE CANDIDATE TOLERANCE\n");
        return 2;
    }
    const double tolerance = std::atof(argv[3]);
    Render ref, cand;
    if (!readRender(argv[1], ref) || !readRender(argv[2], cand)) return 2;
    if (ref.info.frames != cand.info.frames || ref.info.channels != cand.info.channels ||
        ref.info.samplerate != cand.info.samplerate) {
        std::printf("%s: shape differs (%lld frames x %d ch at %d Hz, reference %lld x %d at %d)\n",
                    argv[2], static_cast<long long>(cand.info.frames), cand.info.channels,
                    cand.info.samplerate, static_cast<long long>(ref.info.frames),
                    ref.info.channels, ref.info.samplerate);
        return 1;
    }
    double worst = 0.0;
    size_t worstAt = 0, differing = 0;
    for (size_t i = 0; i < ref.samples.size(); ++i) {
        const double a = ref.samples[i], b = cand.samples[i];
        if (std::memcmp(&a, &b, sizeof a) == 0) continue;
        ++differing;
        const double d = std::isnan(a) || std::isnan(b) ? INFINITY : std::fabs(a - b);
        if (d >= worst) {
            worst = d;
            worstAt = i;
        }
    }
    const int channels = ref.info.channels;
    const bool pass = differing == 0 || (tolerance > 0.0 && worst <= tolerance);
    if (differing == 0)
        std::printf("%-28s identical\n", argv[2]);
    else
        std::printf("%-28s %zu samples differ, largest %.3g at frame %zu channel %zu%s\n", argv[2],
                    differing, worst, worstAt / channels, worstAt % channels,
                    pass ? "" : " (over tolerance)");
    return pass ? 0 : 1;
}
