#include <windows.h>

#include <algorithm>
#include <cctype>
#include <random>

#include "platform/WinText.h"
#include "render/AudioFile.h"

namespace render {
namespace {

constexpr WavSample kSamples[] = {WavSample::Pcm16, WavSample::Pcm24, WavSample::Pcm32,
                                  WavSample::Float, WavSample::Double};

// Sample types are numbered from 1, so 0 stays "unknown" as with libsndfile.
int subtypeNumber(WavSample sample) {
    return static_cast<int>(sample) + 1;
}

}  // namespace

bool AudioReader::open(const std::string& path, std::string* error) {
    if (!wav.open(path, error)) return false;
    const WavFormat& f = wav.format();
    info = {f.sampleRate, f.channels, f.frames, kWindowsWav | subtypeNumber(f.sample)};
    return true;
}

AudioReader::~AudioReader() = default;

long long AudioReader::read(float* interleaved, long long frames) {
    return wav.read(interleaved, frames);
}

bool AudioWriter::open(const std::string& path, const AudioFormat& format, std::string* error) {
    const int subtype = format.format & kWindowsSubtypeMask;
    if ((format.format & ~kWindowsSubtypeMask) != kWindowsWav || subtype < 1 ||
        subtype > int(std::size(kSamples))) {
        *error = "cannot write '" + path + "': only WAV files can be written here";
        return false;
    }
    target = path;
    // The temporary file beside the target, hidden and unlikely to meet another writer's.
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::random_device random;
    temporary = folder + "." + name + ".partial-" + std::to_string(random() % 1000000);
    const WavFormat wavFormat{format.sampleRate, format.channels, 0, kSamples[subtype - 1]};
    if (!wav.open(temporary, wavFormat, error)) {
        *error = "cannot write in '" + (folder.empty() ? std::string(".") : folder) + "'";
        temporary.clear();
        return false;
    }
    removal = platform::RemovedOnSignal(temporary);
    opened = true;
    return true;
}

AudioWriter::~AudioWriter() {
    discard();
}

void AudioWriter::discard() {
    if (opened) wav.finish();
    opened = false;
    if (!temporary.empty()) DeleteFileW(platform::widen(temporary).c_str());
    temporary.clear();
    removal.release();
}

bool AudioWriter::write(const float* interleaved, long long frames, std::string* error) {
    if (wav.write(interleaved, frames)) return true;
    *error = "cannot write '" + target + "': the disk is full or the file too large";
    return false;
}

bool AudioWriter::commit(std::string* error) {
    const bool finished = wav.finish();
    opened = false;
    // rename() would refuse an existing target on Windows; this replaces it in one step.
    if (!finished ||
        !MoveFileExW(platform::widen(temporary).c_str(), platform::widen(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = "cannot complete '" + target + "'";
        discard();
        return false;
    }
    temporary.clear();
    removal.release();
    return true;
}

int majorFormatForPath(const std::string& path) {
    const std::string ext = lowerExtensionOf(path);
    return ext == "wav" || ext == "wave" ? kWindowsWav : 0;
}

const char* knownExtensions() {
    return ".wav or .wave";
}

int subtypeOf(int format) {
    return format & kWindowsSubtypeMask;
}

int formatIfWritable(int major, int subtype) {
    const bool known = subtype >= 1 && subtype <= int(std::size(kSamples));
    return major == kWindowsWav && known ? major | subtype : 0;
}

int defaultSubtype(int major) {
    return major == kWindowsWav ? subtypeNumber(WavSample::Float) : 0;
}

bool isIntegerSubtype(int subtype) {
    return subtype == subtypeNumber(WavSample::Pcm16) ||
           subtype == subtypeNumber(WavSample::Pcm24) || subtype == subtypeNumber(WavSample::Pcm32);
}

std::string subtypeName(int subtype) {
    const char* const names[] = {"pcm16", "pcm24", "pcm32", "float", "double"};
    return subtype >= 1 && subtype <= int(std::size(names)) ? names[subtype - 1] : "other";
}

int subtypeForName(const std::string& name) {
    const char* const names[] = {"pcm16", "pcm24", "pcm32", "float", "double"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (name == names[i]) return subtypeNumber(kSamples[i]);
    return 0;
}

}  // namespace render
