// qrx-demo-signal: writes a few seconds of drums-and-bass-like material with sharp transients,
// made from scratch (kick, snare, hi-hat, bass line), for demos and listening tests.
//   qrx-demo-signal OUT.wav [SECONDS] [RATE]
#include <sndfile.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small deterministic generator, so every demo file is the same.
class Noise {
  public:
    double next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<double>(state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

  private:
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
};

struct Mix {
    std::vector<double> left, right;
    void add(long long at, double l, double r) {
        if (at < 0 || at >= static_cast<long long>(left.size())) return;
        left[at] += l;
        right[at] += r;
    }
};

void kick(Mix& mix, long long at, double rate) {
    double phase = 0.0;
    for (long long i = 0; i < static_cast<long long>(0.45 * rate); ++i) {
        const double t = i / rate;
        const double freq = 48.0 + 110.0 * std::exp(-t * 35.0);
        phase += 2.0 * kPi * freq / rate;
        const double click = i < rate * 0.002 ? 0.5 * (1.0 - i / (rate * 0.002)) : 0.0;
        const double v = (std::sin(phase) * std::exp(-t * 7.0) + click) * 0.9;
        mix.add(at + i, v, v);
    }
}

void snare(Mix& mix, Noise& noise, long long at, double rate) {
    double low = 0.0;
    for (long long i = 0; i < static_cast<long long>(0.25 * rate); ++i) {
        const double t = i / rate;
        const double n = noise.next();
        low += 0.5 * (n - low);
        const double body = std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t * 30.0);
        const double v = ((n - low) * std::exp(-t * 18.0) * 0.7 + body * 0.5) * 0.8;
        mix.add(at + i, v * 0.95, v);
    }
}

void hat(Mix& mix, Noise& noise, long long at, double rate, double level) {
    double previous = 0.0;
    for (long long i = 0; i < static_cast<long long>(0.06 * rate); ++i) {
        const double n = noise.next();
        const double high = n - previous;  // a crude high-pass keeps only the sizzle
        previous = n;
        const double v = high * std::exp(-i / rate * 70.0) * level;
        mix.add(at + i, v * 0.8, v);
    }
}

void bass(Mix& mix, long long at, long long length, double freq, double rate) {
    double phase = 0.0, smooth = 0.0;
    for (long long i = 0; i < length; ++i) {
        const double t = i / rate;
        phase += freq / rate;
        phase -= std::floor(phase);
        const double saw = 2.0 * phase - 1.0;
        smooth += 0.08 * (saw - smooth);  // soften the saw into a round bass
        const double envelope = std::min(1.0, t * 200.0) * std::exp(-t * 2.5);
        const double v = (smooth * 0.6 + std::sin(2.0 * kPi * phase) * 0.4) * envelope * 0.55;
        mix.add(at + i, v, v);
    }
}

const char* const kUsage =
    "usage: qrx-demo-signal OUT.wav [SECONDS] [RATE]\n"
    "Writes SECONDS (default 8, at most 600) of stereo drums and bass at RATE Hz (default 44100,\n"
    "22050..192000) as a 24-bit WAV file.\n";

int fail(const char* message) {
    std::fprintf(stderr, "qrx-demo-signal: %s\n", message);
    return 2;
}

// A whole number in the text and nothing else.
bool readNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == 0 && std::isfinite(*value);
}

bool endsWithWav(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != 0)
            return fail("unknown option (qrx-demo-signal --help shows the usage)");
    }
    if (argc < 2 || argc > 4) return fail("give OUT.wav [SECONDS] [RATE] (--help)");
    if (!endsWithWav(argv[1])) return fail("OUT must be a .wav file: the signal is written as WAV");
    double seconds = 8.0, rateValue = 44100.0;
    if (argc > 2 && !(readNumber(argv[2], &seconds) && seconds > 0.0 && seconds <= 600.0))
        return fail("SECONDS must be a number above 0 and at most 600");
    if (argc > 3 && !(readNumber(argv[3], &rateValue) && rateValue == std::floor(rateValue) &&
                      rateValue >= 22050 && rateValue <= 192000))
        return fail("RATE must be a whole number of Hz in 22050..192000");
    const int rate = static_cast<int>(rateValue);
    const long long frames = static_cast<long long>(seconds * rate);
    Mix mix{std::vector<double>(frames), std::vector<double>(frames)};
    Noise noise;
    const double beat = 60.0 / 124.0;  // 124 BPM
    const double notes[] = {41.2, 41.2, 49.0, 36.7, 41.2, 55.0, 49.0, 36.7};
    for (int b = 0; b * beat < seconds; ++b) {
        const long long at = static_cast<long long>(b * beat * rate);
        if (b % 4 != 3 || b % 8 == 7) kick(mix, at, rate);
        if (b % 2 == 1) snare(mix, noise, at, rate);
        for (int h = 0; h < 2; ++h)
            hat(mix, noise, at + static_cast<long long>(h * beat * 0.5 * rate), rate,
                h ? 0.18 : 0.3);
        bass(mix, at + static_cast<long long>(0.02 * rate), static_cast<long long>(beat * rate),
             notes[b % 8], rate);
    }
    // Quiet passage in the middle, so the plot shows the compressor letting go.
    for (long long i = frames * 5 / 8; i < frames * 6 / 8; ++i) {
        mix.left[i] *= 0.2;
        mix.right[i] *= 0.2;
    }

    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "qrx-demo-signal: cannot write '%s': %s\n", argv[1],
                     sf_strerror(nullptr));
        return 2;
    }
    std::vector<double> interleaved(static_cast<size_t>(frames) * 2);
    for (long long i = 0; i < frames; ++i) {
        interleaved[2 * i] = std::tanh(mix.left[i] * 0.8) * 0.9;
        interleaved[2 * i + 1] = std::tanh(mix.right[i] * 0.8) * 0.9;
    }
    sf_writef_double(file, interleaved.data(), frames);
    sf_close(file);
    std::printf("wrote %s: %.1f s at %d Hz\n", argv[1], seconds, rate);
    return 0;
}
