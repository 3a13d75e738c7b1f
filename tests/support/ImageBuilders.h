// Preset (165-byte) and bank (2565-byte) file images built word by word, for tests of the preset
// system and of the tools that read those files. Independent of the plug-in code on purpose: the
// layout is written out here as a file from elsewhere would have it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<unsigned char>;

inline void reverseWord(void* word) {
    auto* b = static_cast<unsigned char*>(word);
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
}
inline void putWord(Bytes& b, std::size_t offset, std::uint32_t w) {
    std::memcpy(&b[offset], &w, 4);
}
inline void putFloat(Bytes& b, std::size_t offset, float f) {
    std::memcpy(&b[offset], &f, 4);
}
inline float floatAt(const Bytes& b, std::size_t offset) {
    float f;
    std::memcpy(&f, &b[offset], 4);
    return f;
}
inline float swappedFloat(float f) {
    reverseWord(&f);
    return f;
}

// Value i of program k in hand-built images: distinct, exact in float, no two alike.
inline float handValue(int k, int i) {
    return 0.25f + k * 0.03125f + i / 256.0f;
}

// A preset image as a machine of our order writes it.
inline Bytes handPreset(std::uint32_t id, const char* name, unsigned char type = 0x21) {
    Bytes b(165, 0);
    putWord(b, 0, id);
    b[4] = type;
    std::strncpy(reinterpret_cast<char*>(&b[5]), name, 24);
    for (int i = 0; i < 34; ++i) putFloat(b, 29 + 4 * i, handValue(0, i));
    return b;
}

inline Bytes handBank(std::uint32_t id, unsigned char type = 0x37) {
    Bytes b(2565, 0);
    putWord(b, 0, id);
    b[4] = type;
    for (int k = 0; k < 16; ++k) {
        const std::string name = "Bank program " + std::to_string(k);
        std::memcpy(&b[5 + 160 * k], name.c_str(), name.size());
        for (int i = 0; i < 34; ++i) putFloat(b, 29 + 160 * k + 4 * i, handValue(k, i));
    }
    return b;
}

// The same image as a machine of the other byte order writes it: identifier and values reversed.
inline Bytes otherOrder(Bytes b) {
    reverseWord(&b[0]);
    const int records = b.size() == 165 ? 1 : 16;
    for (int k = 0; k < records; ++k)
        for (int i = 0; i < 34; ++i) reverseWord(&b[29 + 160 * k + 4 * i]);
    return b;
}

}  // namespace testsupport
