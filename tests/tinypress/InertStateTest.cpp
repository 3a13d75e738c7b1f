// The inert effect left by a failed allocation at construction. The failure is produced by
// replacing the global non-throwing allocations of this test program: when armed, they refuse
// exactly the request the size of the effect's meter-scale table, or of its signal path (the
// delay rings, filters and buffers).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "editor/MeterSettingsStore.h"
#include "support/CaughtNotices.h"
#include "tinypress/SignalPath.h"
#include "tinypress/TinyPress.h"

namespace {
std::atomic<bool> refuseMeterTable{false};
std::atomic<bool> refuseSignalPath{false};
}  // namespace

// Each replacement forwards to the ordinary throwing allocation, so whatever frees the memory
// later (the ordinary delete, or a sanitizer's) sees the allocation it expects.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (refuseSignalPath.load() && size == sizeof(tinypress::SignalPath)) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
// The signal path is over-aligned (cache-line aligned rings), so it comes through this one.
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    if (refuseSignalPath.load() && size == sizeof(tinypress::SignalPath)) return nullptr;
    try {
        return ::operator new(size, align);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (refuseMeterTable.load() &&
        size == tinypress::TinyPress::kMeterScaleEntries * sizeof(double))
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace tinypress {
namespace {

constexpr const char* kNotice = "Cannot create QRX TinyPress: Not enough memory\n";

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct InertEffect {
    std::unique_ptr<TinyPress> fx;
    std::string constructionOutput;
};

InertEffect makeInert() {
    InertEffect e;
    refuseMeterTable = true;
    testsupport::CaughtNotices notices;
    e.fx = std::make_unique<TinyPress>(testsupport::CallbackRecorder::callback);
    e.constructionOutput = notices.lines();
    refuseMeterTable = false;
    return e;
}

TEST(TinyPressInertState, AnnouncesAnUnknownMonoEffect) {
    testsupport::TemporaryConfigHome home;
    InertEffect e = makeInert();
    TinyPress& fx = *e.fx;
    EXPECT_TRUE(fx.constructionFailed());
    EXPECT_EQ(count(e.constructionOutput, kNotice), 1u);
    AEffect* a = fx.getAeffect();
    EXPECT_EQ(a->numInputs, 1);
    EXPECT_EQ(a->numOutputs, 1);
    EXPECT_EQ(a->uniqueID, vstFourCC('-', '-', '-', '-'));
    EXPECT_EQ(fx.getEditor(), nullptr);
    EXPECT_EQ(a->flags & effFlagsHasEditor, 0);
    EXPECT_EQ(fx.meterScaleTable(), nullptr);
}

TEST(TinyPressInertState, SuspendAndResumeOnlyComplain) {
    testsupport::TemporaryConfigHome home;
    InertEffect e = makeInert();
    TinyPress& fx = *e.fx;
    const double rateBefore = fx.processingRate();
    const VstInt32 delayBefore = fx.getAeffect()->initialDelay;
    testsupport::CaughtNotices notices;
    fx.suspend();
    fx.resume();
    fx.AudioEffect::setSampleRate(96000.0f);
    fx.resume();
    const std::string out = notices.lines();
    EXPECT_EQ(count(out, kNotice), 3u);
    EXPECT_EQ(fx.processingRate(), rateBefore);
    EXPECT_EQ(fx.getAeffect()->initialDelay, delayBefore);
}

// Processing passes the one announced input to the one announced output, so the host never
// plays stale buffers; without an input the output is silence.
void expectPassesTheMainInput(TinyPress& fx) {
    std::vector<float> in(16, 0.25f), out(16, -1.0f);
    float* ins[1] = {in.data()};
    float* outs[1] = {out.data()};
    fx.processReplacing(ins, outs, 16);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.25f; }));
    float* noInput[1] = {nullptr};
    fx.processReplacing(noInput, outs, 16);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
    fx.processReplacing(nullptr, outs, 16);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
    fx.processReplacing(ins, nullptr, 16);  // nothing to write to: no crash
}

TEST(TinyPressInertState, ProcessingPassesTheMainInput) {
    testsupport::TemporaryConfigHome home;
    InertEffect e = makeInert();
    expectPassesTheMainInput(*e.fx);
}

TEST(TinyPressInertState, LeavesTheSharedMeterSettingsAlone) {
    testsupport::TemporaryConfigHome home;
    meter_settings::write(kVuReference, 0.9f);
    makeInert().fx.reset();
    EXPECT_EQ(meter_settings::read(kVuReference), 0.9f);
    EXPECT_EQ(meter_settings::read(kPpmReturn), 0.5f);  // still absent: its default
}

// Without its signal path the effect is just as inert: same announcement, same pass-through.
TEST(TinyPressInertState, MissingSignalPathMakesItInert) {
    testsupport::TemporaryConfigHome home;
    refuseSignalPath = true;
    testsupport::CaughtNotices notices;
    TinyPress fx(testsupport::CallbackRecorder::callback);
    const std::string output = notices.lines();
    refuseSignalPath = false;
    EXPECT_TRUE(fx.constructionFailed());
    EXPECT_EQ(fx.signalPath(), nullptr);
    EXPECT_EQ(count(output, kNotice), 1u);
    EXPECT_EQ(fx.getAeffect()->numInputs, 1);
    EXPECT_EQ(fx.getAeffect()->uniqueID, vstFourCC('-', '-', '-', '-'));
    expectPassesTheMainInput(fx);
}

TEST(TinyPressInertState, NormalConstructionIsUnaffectedByTheHook) {
    testsupport::TemporaryConfigHome home;
    TinyPress fx(testsupport::CallbackRecorder::callback);
    EXPECT_FALSE(fx.constructionFailed());
    EXPECT_NE(fx.meterScaleTable(), nullptr);
    EXPECT_NE(fx.signalPath(), nullptr);
}

}  // namespace
}  // namespace tinypress
