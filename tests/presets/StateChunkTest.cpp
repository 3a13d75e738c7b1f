// The 2592-byte state chunk: layout, round trip, the other byte order and every refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "presets/TestEngine.h"
#include "support/CallbackRecorder.h"

namespace {

using testsupport::CallbackRecorder;
using testsupport::Engine;
using Bytes = std::vector<unsigned char>;

Bytes chunkOf(Engine& e) {
    void* data = nullptr;
    const VstInt32 size = e.getChunk(&data, false);
    EXPECT_EQ(size, 2592);
    const auto* b = static_cast<const unsigned char*>(data);
    return Bytes(b, b + size);
}

VstInt32 load(Engine& e, Bytes bytes) {
    return e.setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false);
}

void putWord(Bytes& b, size_t offset, std::uint32_t w) {
    std::memcpy(&b[offset], &w, 4);
}

// Every 32-bit word but the program names reversed, as a machine of the other order writes it.
Bytes reversedOrder(Bytes b) {
    for (size_t offset = 0; offset < 32; offset += 4) byteSwap32(&b[offset]);
    for (int p = 0; p < 16; ++p)
        for (int i = 0; i < 34; ++i) byteSwap32(&b[32 + p * 160 + 24 + 4 * i]);
    return b;
}

TEST(StateChunk, FreshChunkLayout) {
    Engine e(nullptr);
    const Bytes b = chunkOf(e);
    const unsigned char header[] = {0, 0, 0, 1, 't', 's', 'e', 'T', 16, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data(), header, 16), 0);
    for (int i = 16; i < 32; ++i) EXPECT_EQ(b[i], 0) << i;
    char name[24] = "Default";
    EXPECT_EQ(std::memcmp(&b[32], name, 24), 0);
    float v;
    std::memcpy(&v, &b[32 + 24 + 4 * 5], 4);
    EXPECT_EQ(v, e.programStore()->value(0, 5));
    std::memcpy(&v, &b[32 + 15 * 160 + 24 + 4 * 33], 4);
    EXPECT_EQ(v, e.programStore()->value(15, 33));
}

TEST(StateChunk, RoundTripKeepsProgramsAndCurrentIndex) {
    CallbackRecorder host;
    Engine a(CallbackRecorder::callback);
    a.selectProgram(6);
    a.setParameter(9, 0.77f);
    char name[] = "Twenty-four characters!!";  // exactly 24, no terminator in the record
    a.setProgramName(name);
    const Bytes saved = chunkOf(a);

    Engine b(CallbackRecorder::callback);
    host.requests.clear();
    EXPECT_EQ(load(b, saved), 0);
    EXPECT_EQ(b.getCurrentProgramIndex(), 6);
    EXPECT_EQ(b.params[9], 0.77f);
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(chunkOf(b), saved);
    // Giving a chunk its own buffer back is harmless.
    void* own = nullptr;
    const VstInt32 size = b.getChunk(&own, true);
    EXPECT_EQ(b.setChunk(own, size, true), 0);
    EXPECT_EQ(chunkOf(b), saved);
}

TEST(StateChunk, OtherByteOrderGivesTheSamePrograms) {
    Engine a(nullptr);
    a.selectProgram(2);
    a.setParameter(4, 0.3125f);
    const Bytes saved = chunkOf(a);
    Engine b(nullptr);
    EXPECT_EQ(load(b, reversedOrder(saved)), 0);
    EXPECT_EQ(b.getCurrentProgramIndex(), 2);
    EXPECT_EQ(b.params[4], 0.3125f);
    EXPECT_EQ(chunkOf(b), saved);
}

TEST(StateChunk, RefusalsLeaveTheStateUnchanged) {
    Engine a(nullptr);
    a.selectProgram(1);
    const Bytes before = chunkOf(a);
    Bytes good = before;
    putWord(good, 12, 4);

    Bytes shortChunk(good.begin(), good.end() - 1);
    Bytes longChunk = good;
    longChunk.push_back(0);
    EXPECT_EQ(load(a, shortChunk), -1);
    EXPECT_EQ(load(a, longChunk), -1);
    EXPECT_EQ(a.setChunk(nullptr, 2592, false), -1);

    Bytes otherPlugin = good;
    putWord(otherPlugin, 4, static_cast<std::uint32_t>(vstFourCC('Q', 'X', 'G', 'P')));
    EXPECT_EQ(load(a, otherPlugin), -1);

    Bytes fifteen = good;
    putWord(fifteen, 8, 15);
    EXPECT_EQ(load(a, fifteen), -1);
    EXPECT_EQ(load(a, reversedOrder(fifteen)), -1);

    EXPECT_EQ(a.getCurrentProgramIndex(), 1);
    EXPECT_EQ(chunkOf(a), before);
}

TEST(StateChunk, UnknownFormatIsSkipped) {
    Engine a(nullptr);
    const Bytes before = chunkOf(a);
    Bytes format2 = before;
    putWord(format2, 0, 2);
    putWord(format2, 12, 3);
    format2[32] = 'Z';
    EXPECT_EQ(load(a, format2), 0);
    EXPECT_EQ(a.getCurrentProgramIndex(), 0);
    EXPECT_EQ(chunkOf(a), before);
}

TEST(StateChunk, CurrentIndexOutOfRangeLoadsProgramsOnly) {
    Engine a(nullptr);
    a.selectProgram(2);
    const float appliedBefore = a.params[7];
    Bytes b = chunkOf(a);
    putWord(b, 12, 16);
    float changed = 0.999f;
    std::memcpy(&b[32 + 2 * 160 + 24 + 4 * 7], &changed, 4);
    EXPECT_EQ(load(a, b), 0);
    EXPECT_EQ(a.getCurrentProgramIndex(), 2);
    EXPECT_EQ(a.programStore()->value(2, 7), 0.999f);
    EXPECT_EQ(a.params[7], appliedBefore);  // not applied until a program is next selected

    putWord(b, 12, static_cast<std::uint32_t>(-1));
    EXPECT_EQ(load(a, b), 0);
    EXPECT_EQ(a.getCurrentProgramIndex(), 2);
}

TEST(StateChunk, ByteSwap) {
    unsigned char w[4] = {1, 2, 3, 4};
    byteSwap32(w);
    EXPECT_EQ(w[0], 4);
    EXPECT_EQ(w[3], 1);
    EXPECT_EQ(byteSwapped32(0x01000000u), 1u);
}

}  // namespace

// A value that is not a number can only come from a damaged chunk: the whole chunk is refused.
// Finite values outside 0..1 are clamped, as the engines clamp every value they are given.
TEST(StateChunk, DamagedValuesAreRefusedAndOutOfRangeValuesClamped) {
    Engine a(nullptr);
    a.selectProgram(3);
    const Bytes before = chunkOf(a);
    for (const float bad : {std::nanf(""), INFINITY, -INFINITY}) {
        Bytes damaged = before;
        std::memcpy(&damaged[32 + 15 * 160 + 24 + 4 * 33], &bad, 4);
        EXPECT_EQ(load(a, damaged), -1);
        EXPECT_EQ(load(a, reversedOrder(damaged)), -1);
        EXPECT_EQ(chunkOf(a), before);
        EXPECT_EQ(a.getCurrentProgramIndex(), 3);
    }

    Bytes wide = before;
    const float high = 7.5f, low = -0.25f;
    std::memcpy(&wide[32 + 3 * 160 + 24 + 4 * 5], &high, 4);
    std::memcpy(&wide[32 + 9 * 160 + 24 + 4 * 6], &low, 4);
    EXPECT_EQ(load(a, wide), 0);
    EXPECT_EQ(a.programStore()->value(3, 5), 1.0f);
    EXPECT_EQ(a.programStore()->value(9, 6), 0.0f);
    EXPECT_EQ(a.params[5], 1.0f);  // program 3 is current and was applied clamped
}
