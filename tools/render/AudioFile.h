// Streaming audio file access for the command-line tools: libsndfile on Linux; on Windows, where
// there is none, our own WAV reader and writer (WAV files only). Main thread only.
#pragma once

#ifdef _WIN32
#include "render/WavFile.h"
#else
#include <sndfile.h>
#endif

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/RemovedOnSignal.h"

namespace render {

struct AudioFormat {
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;
    int format = 0;  // libsndfile major | subtype; on Windows kWindowsWav | kWindowsSubtype...
};

#ifdef _WIN32
// The format codes on Windows, in the same layout: the container above the sample type.
inline constexpr int kWindowsWav = 0x10000;
inline constexpr int kWindowsSubtypeMask = 0xFFFF;
#endif

class AudioReader {
  public:
    // Opens for reading; false with a one-line reason when the file is missing or unreadable.
    bool open(const std::string& path, std::string* error);
    ~AudioReader();
    const AudioFormat& format() const { return info; }
    // Reads up to `frames` frames interleaved; returns the frames read (0 at the end).
    long long read(float* interleaved, long long frames);

  private:
#ifdef _WIN32
    WavReader wav;
#else
    SNDFILE* file = nullptr;
#endif
    AudioFormat info;
};

// Writes to a temporary file beside the target and renames it over the target in commit(), so an
// existing file is only ever replaced by a complete one. Destroyed without commit: nothing stays;
// a signal that ends the process removes the temporary file too (platform/RemovedOnSignal.h).
// Integer sample formats clip values beyond full scale.
class AudioWriter {
  public:
    bool open(const std::string& path, const AudioFormat& format, std::string* error);
    ~AudioWriter();
    // False with one line in `error` when the file cannot take the frames (a full disk, a
    // file-size limit).
    bool write(const float* interleaved, long long frames, std::string* error);
    bool commit(std::string* error);

  private:
    void discard();
#ifdef _WIN32
    WavWriter wav;
    bool opened = false;
#else
    SNDFILE* file = nullptr;
#endif
    std::string target;
    std::string temporary;
    platform::RemovedOnSignal removal;
};

// The extension of a path's file name in lower case ("" when it has none); on Windows '\\' also
// separates folders.
inline std::string lowerExtensionOf(const std::string& path) {
#ifdef _WIN32
    const char* const separators = "/\\";
#else
    const char* const separators = "/";
#endif
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of(separators, dot) != std::string::npos)
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}
// The libsndfile major format for a file name's extension (".wav", ".flac", ...); 0 if unknown.
// On Windows only ".wav" and ".wave" are known.
int majorFormatForPath(const std::string& path);
// The extensions majorFormatForPath knows, for messages: ".wav, .flac, ...".
const char* knownExtensions();
// The subtype for a --format word ("pcm16", "pcm24", "pcm32", "float", "double"); 0 if unknown.
int subtypeForName(const std::string& name);
// The sample type part of a format code.
int subtypeOf(int format);
// The format code of a container (majorFormatForPath) with a sample type; 0 when the type has no
// place in that container.
int formatIfWritable(int major, int subtype);
// The container's own sample type, for an input whose type has no place in it.
int defaultSubtype(int major);
// Whether a sample type holds integers (so clips beyond full scale), and its --format word
// ("pcm16", ..., "float", "double"; the libsndfile name of others, such as "vorbis").
bool isIntegerSubtype(int subtype);
std::string subtypeName(int subtype);

}  // namespace render
