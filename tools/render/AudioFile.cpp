#include "render/AudioFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace render {

bool AudioReader::open(const std::string& path, std::string* error) {
    SF_INFO sf{};
    file = sf_open(path.c_str(), SFM_READ, &sf);
    if (!file) {
        *error = "cannot read '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    info = {sf.samplerate, sf.channels, static_cast<long long>(sf.frames), sf.format};
    return true;
}

AudioReader::~AudioReader() {
    if (file) sf_close(file);
}

long long AudioReader::read(float* interleaved, long long frames) {
    return sf_readf_float(file, interleaved, frames);
}

bool AudioWriter::open(const std::string& path, const AudioFormat& format, std::string* error) {
    target = path;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "/." + name + ".partial-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    int fd = -1;
    {
        const platform::CleanupSignalsHeld held;
        fd = mkstemp(buffer.data());
        if (fd >= 0) removal = platform::RemovedOnSignal(buffer.data());
    }
    if (fd < 0) {
        *error = "cannot write in '" + folder + "': " + std::strerror(errno);
        return false;
    }
    temporary = buffer.data();
    // mkstemp creates 0600; the finished file gets the mode any new file of the user gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    SF_INFO sf{};
    sf.samplerate = format.sampleRate;
    sf.channels = format.channels;
    sf.format = format.format;
    file = sf_open_fd(fd, SFM_WRITE, &sf, SF_TRUE);
    if (!file) {
        *error = "cannot write '" + path + "': " + sf_strerror(nullptr);
        discard();
        return false;
    }
    // Float files keep values beyond full scale; integer files clip them instead of wrapping.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

AudioWriter::~AudioWriter() {
    discard();
}

void AudioWriter::discard() {
    if (file) sf_close(file);
    file = nullptr;
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
    removal.release();
}

bool AudioWriter::write(const float* interleaved, long long frames, std::string* error) {
    errno = 0;
    if (sf_writef_float(file, interleaved, frames) == frames) return true;
    const int cause = errno;
    *error = "cannot write '" + target + "': " +
             (cause == EFBIG ? "the file-size limit is reached"
              : cause != 0   ? std::string(std::strerror(cause))
                             : std::string(sf_strerror(file)));
    return false;
}

bool AudioWriter::commit(std::string* error) {
    sf_write_sync(file);
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) {
        *error = "cannot complete '" + target + "': " + std::strerror(errno);
        discard();
        return false;
    }
    temporary.clear();
    removal.release();
    return true;
}

int majorFormatForPath(const std::string& path) {
    const std::string ext = lowerExtensionOf(path);
    if (ext.empty()) return 0;
    struct Entry {
        const char* ext;
        int format;
    };
    static const Entry table[] = {
        {"wav", SF_FORMAT_WAV},   {"wave", SF_FORMAT_WAV},  {"aif", SF_FORMAT_AIFF},
        {"aiff", SF_FORMAT_AIFF}, {"flac", SF_FORMAT_FLAC}, {"ogg", SF_FORMAT_OGG},
        {"caf", SF_FORMAT_CAF},   {"w64", SF_FORMAT_W64},   {"rf64", SF_FORMAT_RF64},
        {"au", SF_FORMAT_AU},     {"snd", SF_FORMAT_AU},
    };
    for (const Entry& e : table)
        if (ext == e.ext) return e.format;
    return 0;
}

const char* knownExtensions() {
    return ".wav, .flac, .aiff, .ogg, .caf, .w64, .rf64 or .au";
}

int subtypeOf(int format) {
    return format & SF_FORMAT_SUBMASK;
}

int formatIfWritable(int major, int subtype) {
    SF_INFO probe{};
    probe.channels = 2;
    probe.samplerate = 44100;
    probe.format = major | subtype;
    return sf_format_check(&probe) ? probe.format : 0;
}

int defaultSubtype(int major) {
    return major == SF_FORMAT_FLAC  ? SF_FORMAT_PCM_24
           : major == SF_FORMAT_OGG ? SF_FORMAT_VORBIS
                                    : SF_FORMAT_FLOAT;
}

bool isIntegerSubtype(int subtype) {
    return subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE &&
           subtype != SF_FORMAT_VORBIS && subtype != SF_FORMAT_OPUS;
}

std::string subtypeName(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_16:
            return "pcm16";
        case SF_FORMAT_PCM_24:
            return "pcm24";
        case SF_FORMAT_PCM_32:
            return "pcm32";
        case SF_FORMAT_FLOAT:
            return "float";
        case SF_FORMAT_DOUBLE:
            return "double";
        default:
            break;
    }
    SF_FORMAT_INFO info{};
    info.format = subtype;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return info.name;
    return "other";
}

int subtypeForName(const std::string& name) {
    if (name == "pcm16") return SF_FORMAT_PCM_16;
    if (name == "pcm24") return SF_FORMAT_PCM_24;
    if (name == "pcm32") return SF_FORMAT_PCM_32;
    if (name == "float") return SF_FORMAT_FLOAT;
    if (name == "double") return SF_FORMAT_DOUBLE;
    return 0;
}

}  // namespace render
