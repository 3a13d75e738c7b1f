// The "Complete State" chunk: form A (tinypress's bank chunk), form B (programs and values),
// and the restoring rules, including malformed data.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/wrapper/TestSupport.h"

namespace {

using namespace wrapper_test;
using Bytes = std::vector<unsigned char>;

std::uint32_t wordAt(const Bytes& b, size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

void putWord(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}

void putFloat(Bytes& b, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putWord(b, bits);
}

Bytes saveState(CPluginWrapper& w) {
    Bytes data(static_cast<size_t>(w.GetStateSize()));
    data.resize(static_cast<size_t>(w.GetState(data.data(), static_cast<int>(data.size()))));
    return data;
}

TEST(StateFormA, TinypressStateRestoredIntoAnotherInstanceReproducesEveryProgram) {
    SKIP_WITHOUT_TINYPRESS();
    TestGroup group;
    CWrapperNRTXProcess first(group.group, group.type, tinypressPath());
    CPluginWrapper& a = first.Wrapper();
    const int programs = a.Effect()->numPrograms;
    ASSERT_GE(programs, 1);
    for (int p = 0; p < programs; ++p) {
        a.Dispatch(effSetProgram, 0, p, nullptr, 0);
        a.SetParameter(5, 0.05f * p);
        a.SetParameter(23, 1.0f - 0.03f * p);
    }
    a.Dispatch(effSetProgram, 0, programs - 1, nullptr, 0);

    Bytes copy(static_cast<size_t>(hostSide(first).chunkSize(kStateChunkId)));
    ASSERT_EQ(hostSide(first).getChunk(kStateChunkId, copy.data(), static_cast<int>(copy.size())),
              static_cast<int>(copy.size()));
    nrtx::ChunkHeader header;
    std::memcpy(&header, copy.data(), sizeof header);
    EXPECT_EQ(header.size, static_cast<int>(copy.size()));
    EXPECT_EQ(header.size, a.GetStateSize() + 56);
    EXPECT_STREQ(header.name, "Complete State");
    EXPECT_EQ(wordAt(copy, copy.size() - 8), 0x3000u);
    EXPECT_EQ(wordAt(copy, copy.size() - 4), 0x3000u);

    CWrapperNRTXProcess second(group.group, group.type, tinypressPath());
    ASSERT_TRUE(hostSide(second).setChunk(copy.data(), static_cast<int>(copy.size())));
    CPluginWrapper& b = second.Wrapper();
    EXPECT_EQ(b.RefreshCountdown(), 2);
    EXPECT_EQ(b.Dispatch(effGetProgram, 0, 0, nullptr, 0), programs - 1);
    for (int p = 0; p < programs; ++p) {
        a.Dispatch(effSetProgram, 0, p, nullptr, 0);
        b.Dispatch(effSetProgram, 0, p, nullptr, 0);
        char nameA[64] = {}, nameB[64] = {};
        a.Dispatch(effGetProgramName, 0, 0, nameA, 0);
        b.Dispatch(effGetProgramName, 0, 0, nameB, 0);
        EXPECT_STREQ(nameA, nameB) << p;
        for (int u = 0; u < 34; ++u)
            EXPECT_EQ(a.GetParameter(u), b.GetParameter(u)) << "program " << p << " param " << u;
    }
}

class StateFormB : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Config& c = fake.config();
        c.numParams = 3;
        c.numPrograms = 2;
        for (int p = 0; p < 2; ++p)
            for (int u = 0; u < 3; ++u) c.values[p][u] = 0.1f * (p + 1) + 0.01f * u;
        std::strcpy(c.programNames[1], "Loud");
        ASSERT_TRUE(wrapper.LoadLibrary(fakeEffectPath().c_str()));
        c.program = 1;
    }
    FakeLibrary fake;
    CPluginWrapper wrapper;
};

TEST_F(StateFormB, LayoutIsBigEndianWithNamesValuesTagAndProgram) {
    const Bytes s = saveState(wrapper);
    ASSERT_EQ(s.size(), static_cast<size_t>((3 + 16) * 2 * 4 + 16));
    EXPECT_EQ(wordAt(s, 0), 3u);
    EXPECT_EQ(wordAt(s, 4), 2u);
    const size_t stride = 64 + 12;
    EXPECT_STREQ(reinterpret_cast<const char*>(&s[8]), "Program 1");
    EXPECT_STREQ(reinterpret_cast<const char*>(&s[8 + stride]), "Loud");
    float v;
    const std::uint32_t bits = wordAt(s, 8 + stride + 64 + 4);
    std::memcpy(&v, &bits, 4);
    EXPECT_FLOAT_EQ(v, 0.21f);
    EXPECT_EQ(wordAt(s, s.size() - 8), 0x2001u);
    EXPECT_EQ(wordAt(s, s.size() - 4), 1u);
    EXPECT_EQ(fake.config().program, 1);  // put back after saving
    EXPECT_FALSE(wrapper.Gate().stateLoadInProgress());
}

TEST_F(StateFormB, SavedStateRestoresEveryProgramAndTheCurrentOne) {
    const Bytes s = saveState(wrapper);
    fake::Config& c = fake.config();
    for (auto& program : c.values)
        for (float& value : program) value = 0.9f;
    std::strcpy(c.programNames[1], "Changed");
    c.program = 0;
    wrapper.SetState(s.data(), static_cast<int>(s.size()));
    EXPECT_EQ(c.program, 1);
    EXPECT_STREQ(c.programNames[1], "Loud");
    for (int p = 0; p < 2; ++p)
        for (int u = 0; u < 3; ++u)
            EXPECT_FLOAT_EQ(c.values[p][u], 0.1f * (p + 1) + 0.01f * u) << p << " " << u;
    EXPECT_EQ(wrapper.RefreshCountdown(), 2);
}

TEST_F(StateFormB, ShortUnknownAndForeignChunksAreIgnored) {
    Bytes s = saveState(wrapper);
    fake::Config& c = fake.config();
    c.values[0][0] = 0.9f;
    wrapper.SetState(s.data(), 11);  // 11 bytes or less
    Bytes unknown = s;
    unknown[unknown.size() - 6] = 0x40;  // tag 0x00402001
    wrapper.SetState(unknown.data(), static_cast<int>(unknown.size()));
    Bytes bank = {1, 2, 3, 4, 5};
    putWord(bank, 0x3000);
    putWord(bank, 0x3000);
    wrapper.SetState(bank.data(), static_cast<int>(bank.size()));  // no program chunks here
    EXPECT_FLOAT_EQ(c.values[0][0], 0.9f);
    EXPECT_EQ(wrapper.RefreshCountdown(), 0);
}

TEST_F(StateFormB, MoreStoredProgramsAndParametersThanTheEffectHasAreSkipped) {
    // Stored: 5 parameters, 3 programs. Later programs must come from their own offsets.
    Bytes s;
    putWord(s, 5);
    putWord(s, 3);
    for (int p = 0; p < 3; ++p) {
        char name[64] = {};
        std::snprintf(name, sizeof name, "Stored %d", p);
        s.insert(s.end(), name, name + 64);
        for (int u = 0; u < 5; ++u) putFloat(s, 0.5f + 0.1f * p - 0.01f * u);
    }
    putWord(s, 0x2000);  // the older tag is read the same way
    putWord(s, 1);
    wrapper.SetState(s.data(), static_cast<int>(s.size()));
    fake::Config& c = fake.config();
    for (int p = 0; p < 2; ++p)
        for (int u = 0; u < 3; ++u)
            EXPECT_FLOAT_EQ(c.values[p][u], 0.5f + 0.1f * p - 0.01f * u) << p << " " << u;
    EXPECT_STREQ(c.programNames[1], "Stored 1");
    EXPECT_EQ(c.program, 1);
}

TEST_F(StateFormB, TruncatedAndHostileDataStaysInsideTheChunk) {
    Bytes s;
    putWord(s, 3);
    putWord(s, 1000000);  // claims far more programs than the data holds
    Bytes name(64, 'x');  // no terminator
    s.insert(s.end(), name.begin(), name.end());
    putFloat(s, 0.25f);
    putFloat(s, std::nanf(""));
    putFloat(s, 7.0f);
    putWord(s, 0x2001);
    putWord(s, 0xFFFFFFFF);  // current program -1
    fake::Config& c = fake.config();
    c.program = 1;
    wrapper.SetState(s.data(), static_cast<int>(s.size()));
    EXPECT_FLOAT_EQ(c.values[0][0], 0.25f);
    EXPECT_FLOAT_EQ(c.values[0][1], 0.11f);          // NaN not written
    EXPECT_FLOAT_EQ(c.values[0][2], 0.12f);          // 7 is no parameter value
    EXPECT_EQ(std::strlen(c.programNames[0]), 31u);  // the effect keeps 31 characters
    EXPECT_EQ(c.program, 0);  // program 0 was selected to restore it; -1 is not a program
}

// 12 to 15 bytes end in a form B tag but hold no program (the counts and closing words alone
// take 16): refused without reading past the data, nothing changes.
TEST_F(StateFormB, DataShorterThanItsOwnFramingIsRefused) {
    fake::Config& c = fake.config();
    const fake::Config before = c;
    for (size_t size = 12; size < 16; ++size) {
        Bytes s(size, 0xFF);  // program count and current program as large as they come
        s[0] = s[1] = s[2] = 0;
        s[3] = 3;  // parameters
        const Bytes tag = {0x00, 0x00, 0x20, 0x01};
        std::copy(tag.begin(), tag.end(), s.end() - 8);
        wrapper.SetState(s.data(), static_cast<int>(s.size()));
        EXPECT_EQ(c.program, before.program) << s.size();
        EXPECT_EQ(std::memcmp(c.values, before.values, sizeof c.values), 0) << s.size();
        EXPECT_EQ(std::memcmp(c.programNames, before.programNames, sizeof c.programNames), 0)
            << s.size();
    }
}

TEST(ProcessingGate, StateLoadWaitsForProcessingAndProcessingSkipsDuringLoad) {
    wrapper::ProcessingGate gate;
    EXPECT_TRUE(gate.enterProcessing());
    EXPECT_TRUE(gate.processingNow());
    std::atomic<bool> started{false}, loaded{false};
    std::thread loader([&] {
        started.store(true);
        gate.beginStateLoad();
        loaded.store(true);
    });
    while (!started.load()) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();  // let it spin a while
    EXPECT_FALSE(loaded.load());  // still spinning: a processing call runs
    gate.leaveProcessing();
    loader.join();
    EXPECT_TRUE(loaded.load());
    EXPECT_TRUE(gate.stateLoadInProgress());
    EXPECT_FALSE(gate.enterProcessing());  // the effect is skipped
    gate.leaveProcessing();
    gate.endStateLoad();
    EXPECT_TRUE(gate.enterProcessing());
    gate.leaveProcessing();
    EXPECT_FALSE(gate.processingNow());
}

}  // namespace
