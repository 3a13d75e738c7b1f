// A small WAV reader and writer of our own, for builds without libsndfile (Windows): RIFF/WAVE
// with PCM 16, 24 or 32 bits, or IEEE float 32 or 64 bits, any number of channels. Samples are
// exchanged as interleaved floats, integers scaled so full scale is [-1, 1). Main thread only.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace render {

enum class WavSample { Pcm16, Pcm24, Pcm32, Float, Double };

struct WavFormat {
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;  // reader: frames in the file; ignored by the writer
    WavSample sample = WavSample::Float;
};

// Bytes one sample of this type takes in the file.
int bytesPerSample(WavSample sample);

class WavReader {
  public:
    // Opens and checks the header; false with a one-line reason for a missing file, a file that
    // is not WAV, or a sample format outside the list above. A data chunk that claims more bytes
    // than the file holds (a recording cut short) is read as far as it goes.
    bool open(const std::string& path, std::string* error);
    const WavFormat& format() const { return info_; }
    // Reads up to `frames` frames interleaved; returns the frames read (0 at the end or on a
    // read error).
    long long read(float* interleaved, long long frames);

  private:
    std::ifstream in_;
    WavFormat info_;
    long long framesLeft_ = 0;
    std::vector<unsigned char> bytes_;
};

class WavWriter {
  public:
    // Creates (or truncates) `path` with a header for `format`; false with a reason on failure.
    bool open(const std::string& path, const WavFormat& format, std::string* error);
    // Appends interleaved frames; integer formats clip values beyond full scale, float formats
    // keep them. False when the file cannot take them (write error, or past the 4 GB the RIFF
    // sizes can express).
    bool write(const float* interleaved, long long frames);
    // Writes the final sizes into the header and closes the file; false on any error.
    bool finish();

  private:
    std::ofstream out_;
    WavFormat info_;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
    std::vector<unsigned char> bytes_;
};

}  // namespace render
