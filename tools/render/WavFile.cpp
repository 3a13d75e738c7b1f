#include "render/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace render {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// More than any file of ours holds; bounds the frame buffer a hostile header could ask for.
constexpr int kMaxChannels = 1024;
constexpr std::uint64_t kMaxRiffBytes = 0xFFFFFFFFu;
constexpr std::uint32_t kHeaderBytes = 44;  // RIFF header, 16-byte fmt chunk, data chunk header

// Paths are UTF-8 on every platform; Windows needs them as wide file names.
std::filesystem::path fileName(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

bool sampleOf(std::uint16_t tag, int bits, WavSample& sample) {
    if (tag == kFormatPcm && bits == 16)
        sample = WavSample::Pcm16;
    else if (tag == kFormatPcm && bits == 24)
        sample = WavSample::Pcm24;
    else if (tag == kFormatPcm && bits == 32)
        sample = WavSample::Pcm32;
    else if (tag == kFormatFloat && bits == 32)
        sample = WavSample::Float;
    else if (tag == kFormatFloat && bits == 64)
        sample = WavSample::Double;
    else
        return false;
    return true;
}

float decode(const unsigned char* p, WavSample sample) {
    switch (sample) {
        case WavSample::Pcm16:
            return static_cast<float>(std::int16_t(le16(p)) / 32768.0);
        case WavSample::Pcm24: {
            std::int32_t v = p[0] | p[1] << 8 | p[2] << 16;
            if (v & 0x800000) v -= 0x1000000;
            return static_cast<float>(v / 8388608.0);
        }
        case WavSample::Pcm32:
            return static_cast<float>(std::int32_t(le32(p)) / 2147483648.0);
        case WavSample::Float: {
            const std::uint32_t bits = le32(p);
            float f;
            std::memcpy(&f, &bits, 4);
            return f;
        }
        case WavSample::Double: {
            const std::uint64_t bits = le32(p) | std::uint64_t(le32(p + 4)) << 32;
            double d;
            std::memcpy(&d, &bits, 8);
            return static_cast<float>(d);
        }
    }
    return 0.0f;
}

// Full scale `scale`, rounded and clipped to the integer range; NaN becomes silence.
std::int64_t toInteger(float value, double scale) {
    if (!(value == value)) return 0;
    const double scaled = std::nearbyint(static_cast<double>(value) * scale);
    return static_cast<std::int64_t>(std::clamp(scaled, -scale, scale - 1.0));
}

void encode(float value, WavSample sample, unsigned char* p) {
    switch (sample) {
        case WavSample::Pcm16:
            put16(p, static_cast<std::uint16_t>(toInteger(value, 32768.0)));
            break;
        case WavSample::Pcm24: {
            const auto v = static_cast<std::uint32_t>(toInteger(value, 8388608.0));
            p[0] = static_cast<unsigned char>(v);
            p[1] = static_cast<unsigned char>(v >> 8);
            p[2] = static_cast<unsigned char>(v >> 16);
            break;
        }
        case WavSample::Pcm32:
            put32(p, static_cast<std::uint32_t>(toInteger(value, 2147483648.0)));
            break;
        case WavSample::Float: {
            std::uint32_t bits;
            std::memcpy(&bits, &value, 4);
            put32(p, bits);
            break;
        }
        case WavSample::Double: {
            const double d = value;
            std::uint64_t bits;
            std::memcpy(&bits, &d, 8);
            put32(p, static_cast<std::uint32_t>(bits));
            put32(p + 4, static_cast<std::uint32_t>(bits >> 32));
            break;
        }
    }
}

}  // namespace

int bytesPerSample(WavSample sample) {
    switch (sample) {
        case WavSample::Pcm16:
            return 2;
        case WavSample::Pcm24:
            return 3;
        case WavSample::Pcm32:
            return 4;
        case WavSample::Float:
            return 4;
        case WavSample::Double:
            return 8;
    }
    return 0;
}

bool WavReader::open(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& reason) {
        *error = "cannot read '" + path + "': " + reason;
        in_.close();
        return false;
    };
    in_.open(fileName(path), std::ios::binary);
    if (!in_) return fail("cannot open the file");
    in_.seekg(0, std::ios::end);
    const auto fileBytes = static_cast<std::uint64_t>(in_.tellg());
    in_.seekg(0);
    unsigned char riff[12];
    if (!in_.read(reinterpret_cast<char*>(riff), 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return fail("not a WAV file");

    bool haveFormat = false;
    int blockAlign = 0;
    for (std::uint64_t at = 12; at + 8 <= fileBytes;) {
        unsigned char chunk[8];
        in_.seekg(static_cast<std::streamoff>(at));
        if (!in_.read(reinterpret_cast<char*>(chunk), 8)) break;
        const std::uint64_t size = le32(chunk + 4);
        const std::uint64_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 64) return fail("malformed format chunk");
            unsigned char fmt[64];
            if (!in_.read(reinterpret_cast<char*>(fmt), static_cast<std::streamsize>(size)))
                return fail("malformed format chunk");
            std::uint16_t tag = le16(fmt);
            const int bits = le16(fmt + 14);
            if (tag == kFormatExtensible) {
                if (size < 40 || le16(fmt + 16) < 22) return fail("malformed format chunk");
                tag = le16(fmt + 24);  // the first two bytes of the sub-format GUID
            }
            info_.channels = le16(fmt + 2);
            info_.sampleRate = static_cast<int>(std::min<std::uint32_t>(le32(fmt + 4), 1u << 30));
            blockAlign = le16(fmt + 12);
            if (!sampleOf(tag, bits, info_.sample))
                return fail("unsupported sample format (PCM 16/24/32 or float 32/64 only)");
            if (info_.channels < 1 || info_.channels > kMaxChannels || info_.sampleRate < 1 ||
                blockAlign != info_.channels * bytesPerSample(info_.sample))
                return fail("malformed format chunk");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return fail("no format chunk before the audio data");
            // A recording cut short claims more than there is: read what there is.
            const std::uint64_t available = std::min(size, fileBytes - body);
            info_.frames = static_cast<long long>(available / std::uint64_t(blockAlign));
            framesLeft_ = info_.frames;
            in_.seekg(static_cast<std::streamoff>(body));
            return true;
        }
        at = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return fail(haveFormat ? "no audio data" : "no format chunk");
}

long long WavReader::read(float* interleaved, long long frames) {
    const long long n = std::clamp(frames, 0LL, framesLeft_);
    if (n == 0) return 0;
    const int sampleBytes = bytesPerSample(info_.sample);
    const std::size_t count = static_cast<std::size_t>(n) * std::size_t(info_.channels);
    bytes_.resize(count * std::size_t(sampleBytes));
    if (!in_.read(reinterpret_cast<char*>(bytes_.data()),
                  static_cast<std::streamsize>(bytes_.size())))
        return 0;
    for (std::size_t i = 0; i < count; ++i)
        interleaved[i] = decode(bytes_.data() + i * std::size_t(sampleBytes), info_.sample);
    framesLeft_ -= n;
    return n;
}

bool WavWriter::open(const std::string& path, const WavFormat& format, std::string* error) {
    if (format.channels < 1 || format.channels > kMaxChannels || format.sampleRate < 1) {
        *error = "cannot write '" + path + "': unsupported channel count or sample rate";
        return false;
    }
    info_ = format;
    out_.open(fileName(path), std::ios::binary | std::ios::trunc);
    if (!out_) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    // The sizes are written when the file is finished; until then they say "empty".
    unsigned char header[kHeaderBytes] = {};
    const int sampleBytes = bytesPerSample(format.sample);
    const bool isFloat = format.sample == WavSample::Float || format.sample == WavSample::Double;
    std::memcpy(header, "RIFF", 4);
    put32(header + 4, kHeaderBytes - 8);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);
    put16(header + 20, isFloat ? kFormatFloat : kFormatPcm);
    put16(header + 22, static_cast<std::uint16_t>(format.channels));
    put32(header + 24, static_cast<std::uint32_t>(format.sampleRate));
    put32(header + 28, static_cast<std::uint32_t>(format.sampleRate) *
                           static_cast<std::uint32_t>(format.channels * sampleBytes));
    put16(header + 32, static_cast<std::uint16_t>(format.channels * sampleBytes));
    put16(header + 34, static_cast<std::uint16_t>(8 * sampleBytes));
    std::memcpy(header + 36, "data", 4);
    out_.write(reinterpret_cast<const char*>(header), kHeaderBytes);
    failed_ = !out_;
    return !failed_;
}

bool WavWriter::write(const float* interleaved, long long frames) {
    if (failed_ || frames < 0) return false;
    const int sampleBytes = bytesPerSample(info_.sample);
    const std::size_t count = static_cast<std::size_t>(frames) * std::size_t(info_.channels);
    const std::uint64_t added = count * std::uint64_t(sampleBytes);
    // Refused without harm: what is written so far still makes a complete file.
    if (kHeaderBytes - 8 + dataBytes_ + added + 1 > kMaxRiffBytes) return false;
    bytes_.resize(static_cast<std::size_t>(added));
    for (std::size_t i = 0; i < count; ++i)
        encode(interleaved[i], info_.sample, bytes_.data() + i * std::size_t(sampleBytes));
    out_.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(added));
    if (!out_) return !(failed_ = true);
    dataBytes_ += added;
    return true;
}

bool WavWriter::finish() {
    if (!out_.is_open()) return false;
    if (dataBytes_ & 1) out_.put('\0');  // the data chunk is padded to an even size
    unsigned char size[4];
    put32(size, static_cast<std::uint32_t>(kHeaderBytes - 8 + dataBytes_ + (dataBytes_ & 1)));
    out_.seekp(4);
    out_.write(reinterpret_cast<const char*>(size), 4);
    put32(size, static_cast<std::uint32_t>(dataBytes_));
    out_.seekp(40);
    out_.write(reinterpret_cast<const char*>(size), 4);
    out_.close();
    return !failed_ && !out_.fail();
}

}  // namespace render
