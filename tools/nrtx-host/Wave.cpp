#include "Wave.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

bool readWave(const std::string& path, nrtx_host::Audio* audio, int* rate) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(&b[8], "WAVE", 4))
        return false;
    int format = 0, channels = 0, bits = 0;
    for (size_t p = 12; p + 8 <= b.size();) {
        const std::uint32_t size = le32(&b[p + 4]);
        if (p + 8 + size > b.size()) return false;
        if (!std::memcmp(&b[p], "fmt ", 4) && size >= 16) {
            format = le16(&b[p + 8]);
            channels = le16(&b[p + 10]);
            *rate = static_cast<int>(le32(&b[p + 12]));
            bits = le16(&b[p + 22]);
        } else if (!std::memcmp(&b[p], "data", 4)) {
            if (channels < 1 || !((format == 1 && bits == 16) || (format == 3 && bits == 32)))
                return false;
            const size_t frames = size / (channels * bits / 8);
            audio->assign(static_cast<size_t>(channels), std::vector<float>(frames));
            const unsigned char* d = &b[p + 8];
            for (size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const size_t k = i * channels + c;
                    float v;
                    if (format == 1) {
                        v = static_cast<std::int16_t>(le16(d + 2 * k)) / 32768.0f;
                    } else {
                        const std::uint32_t bits32 = le32(d + 4 * k);
                        std::memcpy(&v, &bits32, 4);
                    }
                    (*audio)[c][i] = v;
                }
            return true;
        }
        p += 8 + size + (size & 1);
    }
    return false;
}

bool writeWave(const std::string& path, const nrtx_host::Audio& audio, int rate) {
    const std::uint32_t channels = static_cast<std::uint32_t>(audio.size());
    const std::uint32_t frames = channels ? static_cast<std::uint32_t>(audio[0].size()) : 0;
    const std::uint32_t data = frames * channels * 4;
    std::vector<unsigned char> b;
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    tag("RIFF"), put(36 + data, 4), tag("WAVE"), tag("fmt "), put(16, 4), put(3, 2);
    put(channels, 2), put(static_cast<std::uint32_t>(rate), 4), put(rate * channels * 4, 4);
    put(channels * 4, 2), put(32, 2), tag("data"), put(data, 4);
    for (std::uint32_t i = 0; i < frames; ++i)
        for (std::uint32_t c = 0; c < channels; ++c) {
            std::uint32_t v;
            std::memcpy(&v, &audio[c][i], 4);
            put(v, 4);
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}
