// The processing bridge: quantum chunks, bypass alignment, side chain, MIDI, offline passes.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "nrtx-standins/Motor.h"
#include "support/CaughtNotices.h"
#include "tests/wrapper/TestSupport.h"

namespace {

using namespace wrapper_test;

std::vector<float> noise(int frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(frames));
    for (float& x : v) x = d(random);
    return v;
}

// Motor.so (Motor.dll) loaded for the test so the adaptor finds its quantum; unloaded afterwards.
class EngineQuantum {
  public:
    explicit EngineQuantum(int quantum, int answers = 1)
        : library_(platform::DynamicLibrary::load(motorPath())) {
        auto getSettings =
            reinterpret_cast<MotorGetSettingsProc>(library_->symbol("MotorGetSettings"));
        configure_ = reinterpret_cast<MotorConfigureProc>(library_->symbol("MotorConfigure"));
        getSettings(&saved_);
        MotorSettings s = saved_;
        s.maximumQuantum = quantum;
        s.answersQuantum = answers;
        configure_(&s);
    }
    ~EngineQuantum() { configure_(&saved_); }

  private:
    std::unique_ptr<platform::DynamicLibrary> library_;
    MotorConfigureProc configure_;
    MotorSettings saved_;
};

class ProcessBridge : public ::testing::Test {
  protected:
    void SetUp() override { fake.config().initialDelay = kDelay; }
    static constexpr int kDelay = 977;
    FakeLibrary fake;
};

TEST_F(ProcessBridge, QuantumComesFromTheEngineOr32) {
    TestGroup group;
    {
        CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
        EXPECT_EQ(process.Quantum(), 32);  // no engine loaded
    }
    {
        EngineQuantum engine(100);
        CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
        EXPECT_EQ(process.Quantum(), 100);
        EXPECT_EQ(fake.config().blockSize, 100);
        EXPECT_EQ(fake.config().resumed, 1);
    }
    for (auto [quantum, answers] : {std::pair{0, 1}, std::pair{100, 0}}) {
        EngineQuantum engine(quantum, answers);
        CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
        EXPECT_EQ(process.Quantum(), 32) << quantum << " " << answers;
    }
}

TEST_F(ProcessBridge, ChunksNeverExceedTheQuantumAndOneFrameBuffersStillProcess) {
    EngineQuantum engine(64);
    TestGroup group;
    CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
    const auto in = noise(5000, 1);
    std::vector<float> outL(in.size()), outR(in.size());
    int pos = 0;
    for (int length : {1, 1, 200, 63, 64, 65, 1, 1000, 3605}) {
        const int calls = fake.config().processCalls;
        const long long before = fake.config().framesProcessed;
        EXPECT_EQ(render(process, &in[pos], &in[pos], &outL[pos], &outR[pos], length), length);
        EXPECT_EQ(fake.config().framesProcessed - before, length);
        EXPECT_EQ(fake.config().processCalls - calls, (length + 63) / 64) << length;
        pos += length;
    }
    EXPECT_EQ(pos, 5000);
    EXPECT_EQ(fake.config().maxFramesPerCall, 64);
}

TEST_F(ProcessBridge, BypassedOutputIsTheInputDelayedByTheLatencyAcrossOddBuffers) {
    TestGroup group;
    CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
    ASSERT_EQ(process.InitialDelay(), kDelay);
    const int total = 20000;
    const auto left = noise(total, 2), right = noise(total, 3);
    std::vector<float> outL(total), outR(total);
    const int lengths[] = {1, 7, 33, 500, 64, 3, 977, 1500};
    const int toggles[] = {0, 1234, 1235, 5000, 9001, 15000};  // host bypass requests
    int pos = 0, next = 0, cycle = 0;
    bool bypass = false;
    while (pos < total) {
        int frames = std::min(lengths[cycle++ % 8], total - pos);
        if (next < 6 && toggles[next] <= pos) {
            bypass = !bypass;
            hostSide(process).setControlValue(1, bypass ? nrtx::kControlOn : nrtx::kControlOff);
            ++next;
        }
        if (next < 6) frames = std::min(frames, toggles[next] - pos);
        render(process, &left[pos], &right[pos], &outL[pos], &outR[pos], frames);
        pos += frames;
    }
    for (int i = 0; i < total; ++i) {
        const float expectL = i >= kDelay ? left[i - kDelay] : 0.0f;
        const float expectR = i >= kDelay ? right[i - kDelay] : 0.0f;
        ASSERT_EQ(outL[i], expectL) << i;
        ASSERT_EQ(outR[i], expectR) << i;
    }
}

TEST_F(ProcessBridge, SideChainIsTheKeyInputOrSilence) {
    const auto in = noise(256, 4);
    std::vector<float> key(256, 0.0f), out(256);
    key[100] = -0.75f;
    {
        TestGroup group;  // no key input in this type's format
        CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
        render(process, in.data(), in.data(), out.data(), out.data(), 256, key.data());
        EXPECT_EQ(fake.config().sideChainPeak, 0.0f);
    }
    {
        TestGroup group(nrtx::TypeKind::RealTime, 0, 1);
        CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
        render(process, in.data(), in.data(), out.data(), out.data(), 256, nullptr);
        EXPECT_EQ(fake.config().sideChainPeak, 0.0f);  // type with a key input, none connected
        render(process, in.data(), in.data(), out.data(), out.data(), 256, key.data());
        EXPECT_EQ(fake.config().sideChainPeak, 0.75f);
    }
}

TEST_F(ProcessBridge, OneChannelTypeFeedsBothSidesFromTheFirstBuffer) {
    fake.config().initialDelay = 0;
    TestGroup group(nrtx::TypeKind::RealTime, 1, 1);
    CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
    const auto in = noise(300, 5);
    std::vector<float> out(300, 9.0f);
    render(process, in.data(), nullptr, out.data(), nullptr, 300);
    EXPECT_EQ(out, in);
}

TEST_F(ProcessBridge, MidiEventsReachTheEffectOnceInOrder) {
    TestGroup group;
    CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
    CPluginWrapper& w = process.Wrapper();
    w.QueueMidiEvent(0x90, 60, 100, 0, 0);
    w.QueueMidiEvent(0xB0, 7, 20, 0, 5);
    EXPECT_EQ(w.PendingMidiEvents(), 2);
    std::vector<float> in(32, 0.0f), out(32);
    render(process, in.data(), in.data(), out.data(), out.data(), 32);
    EXPECT_EQ(fake.config().eventsReceived, 2);
    EXPECT_EQ(fake.config().lastEventStatus, 0xB0);
    render(process, in.data(), in.data(), out.data(), out.data(), 32);
    EXPECT_EQ(fake.config().eventsReceived, 2);  // not sent twice
    for (int i = 0; i < 1100; ++i) w.QueueMidiEvent(0x80, i & 127, 0, 0, 0);
    EXPECT_EQ(w.PendingMidiEvents(), 1024);
    render(process, in.data(), in.data(), out.data(), out.data(), 32);
    EXPECT_EQ(fake.config().eventsReceived, 2 + 1024);
}

TEST_F(ProcessBridge, OfflineFirstPassDropsTheLatencyThenStaysAligned) {
    TestGroup group(nrtx::TypeKind::Offline);
    CWrapperOFLProcess process(group.group, group.type, fakeEffectPath());
    const auto in = noise(8192, 6);
    std::vector<float> outL(8192, 5.0f), outR(8192, 5.0f);
    int consumed = 0;
    EXPECT_EQ(
        render(process, in.data(), in.data(), outL.data(), outR.data(), 4096, nullptr, &consumed),
        0);
    EXPECT_EQ(consumed, kDelay);
    EXPECT_EQ(outL[0], 5.0f);  // nothing written
    const int rest = 8192 - kDelay;
    EXPECT_EQ(render(process, &in[kDelay], &in[kDelay], outL.data(), outR.data(), rest, nullptr,
                     &consumed),
              rest);
    EXPECT_EQ(consumed, rest);
    for (int i = 0; i < rest; ++i) ASSERT_EQ(outL[i], in[i]) << i;  // aligned with the input
    EXPECT_LE(fake.config().maxFramesPerCall, 32);  // pieces of the effect's block size
}

TEST_F(ProcessBridge, OfflineFirstPassShorterThanTheLatencyKeepsDropping) {
    TestGroup group(nrtx::TypeKind::Offline);
    CWrapperOFLProcess process(group.group, group.type, fakeEffectPath());
    const auto in = noise(3000, 7);
    std::vector<float> out(3000);
    int consumed = 0;
    EXPECT_EQ(render(process, &in[0], &in[0], out.data(), out.data(), 500, nullptr, &consumed), 0);
    EXPECT_EQ(consumed, 500);
    EXPECT_EQ(process.FramesStillDropped(), kDelay - 500);
    EXPECT_EQ(render(process, &in[500], &in[500], out.data(), out.data(), 500, nullptr, &consumed),
              0);
    EXPECT_EQ(consumed, kDelay - 500);
    EXPECT_EQ(
        render(process, &in[kDelay], &in[kDelay], out.data(), out.data(), 1000, nullptr, &consumed),
        1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(out[i], in[i]) << i;
}

// Offline passes with the master bypass switched between them: the bypassed stretches are the
// input in place, and the rest is sample for sample what a never-bypassed render gives (the
// effect kept running). tinypress, so processed and bypassed audio differ.
TEST(OfflineBypass, TogglesKeepEverySampleInPlace) {
    SKIP_WITHOUT_TINYPRESS();
    const int total = 30000;
    const auto left = noise(total, 12), right = noise(total, 13);
    struct Pass {
        int at, frames;
        bool bypass;
    };
    auto renderAll = [&](std::function<bool(int)> bypassOfPass, std::vector<float>& outL,
                         std::vector<float>& outR) {
        TestGroup group(nrtx::TypeKind::Offline);
        CWrapperOFLProcess process(group.group, group.type, tinypressPath());
        EXPECT_EQ(process.InitialDelay(), 977);
        const int lengths[] = {700, 1500, 64, 3001, 1};
        std::vector<Pass> passes;
        int read = 0, written = 0;
        for (int pass = 0; read < total; ++pass) {
            const bool bypass = bypassOfPass(pass);
            hostSide(process).setControlValue(1, bypass ? nrtx::kControlOn : nrtx::kControlOff);
            const int frames = std::min(lengths[pass % 5], total - read);
            int consumed = 0;
            const int n = render(process, &left[read], &right[read], &outL[written], &outR[written],
                                 frames, nullptr, &consumed);
            passes.push_back({written, n, bypass});
            read += consumed;
            written += n;
        }
        EXPECT_EQ(written, total - 977);
        return passes;
    };
    std::vector<float> refL(total), refR(total), outL(total), outR(total);
    renderAll([](int) { return false; }, refL, refR);
    // On from the first pass (while the latency is dropped), then on and off in odd rhythms.
    const auto passes = renderAll(
        [](int pass) { return pass < 3 || (pass >= 6 && pass < 9) || pass == 11 || pass == 14; },
        outL, outR);
    int bypassed = 0, processed = 0;
    for (const Pass& p : passes)
        for (int i = p.at; i < p.at + p.frames; ++i) {
            ASSERT_EQ(outL[i], p.bypass ? left[i] : refL[i]) << i << (p.bypass ? " bypassed" : "");
            ASSERT_EQ(outR[i], p.bypass ? right[i] : refR[i]) << i;
            (p.bypass ? bypassed : processed) += 1;
        }
    EXPECT_GT(bypassed, 5000);
    EXPECT_GT(processed, 10000);
    // Processing shows: the never-bypassed render is not the input.
    EXPECT_FALSE(std::equal(left.begin(), left.begin() + 20000, refL.begin()));
}

TEST_F(ProcessBridge, OfflineBlocksLongerThanTheTransferBuffersArePieced) {
    fake.config().initialDelay = 0;
    TestGroup group(nrtx::TypeKind::Offline);
    CWrapperOFLProcess process(group.group, group.type, fakeEffectPath());
    const int frames = 3 * CWrapperProcess::kTransferFrames + 17;
    const auto in = noise(frames, 8);
    std::vector<float> out(static_cast<size_t>(frames));
    int consumed = 0;
    EXPECT_EQ(
        render(process, in.data(), in.data(), out.data(), out.data(), frames, nullptr, &consumed),
        frames);
    EXPECT_EQ(consumed, frames);
    EXPECT_EQ(out, in);
    EXPECT_EQ(fake.config().framesProcessed, frames);
}

// Channels beyond main, side chain and side chain each get a buffer of their own: silent inputs,
// outputs that go nowhere, real time and offline.
TEST_F(ProcessBridge, EffectWithManyChannelsGetsABufferForEveryChannel) {
    fake.config().numInputs = fake.config().numOutputs = 24;
    const auto in = noise(3000, 10);
    for (nrtx::TypeKind kind : {nrtx::TypeKind::RealTime, nrtx::TypeKind::Offline}) {
        TestGroup group(kind);
        std::unique_ptr<CWrapperProcess> process;
        if (kind == nrtx::TypeKind::RealTime)
            process =
                std::make_unique<CWrapperNRTXProcess>(group.group, group.type, fakeEffectPath());
        else
            process =
                std::make_unique<CWrapperOFLProcess>(group.group, group.type, fakeEffectPath());
        ASSERT_TRUE(process->Wrapper().IsLoaded());
        EXPECT_EQ(process->Wrapper().GetNumChannels(), 24);
        std::vector<float> outL(3000), outR(3000);
        const int lengths[] = {1, 500, 31, 2468};
        int pos = 0, written = 0;
        for (int call = 0; pos < 3000; ++call) {
            int consumed = 0;
            const int length = std::min(lengths[call % 4], 3000 - pos);
            written += render(*process, &in[pos], &in[pos], &outL[written], &outR[written], length,
                              nullptr, &consumed);
            pos += consumed;
        }
        ASSERT_GT(written, 1000);
        const int late = kind == nrtx::TypeKind::RealTime ? kDelay : 0;  // offline drops it
        for (int i = 0; i < written; ++i) ASSERT_EQ(outL[i], i >= late ? in[i - late] : 0.0f) << i;
        EXPECT_EQ(fake.config().surplusInputPeak, 0.0f);  // its own outputs never come back in
        EXPECT_GT(fake.config().processCalls, 2);
    }
}

TEST(ProcessWithAbsurdChannelCounts, RefusesTheEffectAndPassesAudioThrough) {
    FakeLibrary fake;
    fake.config().numInputs = 100000;
    TestGroup group;
    testsupport::CaughtNotices notices;
    CWrapperNRTXProcess process(group.group, group.type, fakeEffectPath());
    EXPECT_NE(notices.lines().find("more than 256"), std::string::npos);
    EXPECT_FALSE(process.Wrapper().IsLoaded());
    EXPECT_EQ(fake.config().opened, 0);
    EXPECT_EQ(process.GetNumControls(), 1);
    const auto in = noise(100, 11);
    std::vector<float> out(100);
    EXPECT_EQ(render(process, in.data(), in.data(), out.data(), out.data(), 100), 100);
    EXPECT_EQ(out, in);
    EXPECT_EQ(fake.config().processCalls, 0);
}

TEST(ProcessWithoutEffect, PassesTheHostBuffersThrough) {
    testsupport::CaughtNotices notices;
    TestGroup realTime, offline(nrtx::TypeKind::Offline);
    CWrapperNRTXProcess rt(realTime.group, realTime.type, "missing-plugin.so");
    CWrapperOFLProcess ofl(offline.group, offline.type, "missing-plugin.so");
    EXPECT_EQ(rt.GetNumControls(), 1);  // the master bypass only
    const auto in = noise(100, 9);
    std::vector<float> out(100);
    EXPECT_EQ(render(rt, in.data(), in.data(), out.data(), out.data(), 100), 100);
    EXPECT_EQ(out, in);
    std::fill(out.begin(), out.end(), 0.0f);
    EXPECT_EQ(render(ofl, in.data(), in.data(), out.data(), out.data(), 100), 100);
    EXPECT_EQ(out, in);
    EXPECT_EQ(notices.lines(),
              ": Plug-in core lib failed to load.\n"
              ": Plug-in core lib failed to load.\n");
}

}  // namespace
