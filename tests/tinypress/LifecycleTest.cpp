// Lifecycle seen by the editor: resume refreshes the editor's latency read-outs at its very end,
// between the two announcements of the delay, once everything else is in place. The editor is a
// spy made by the engine's editor factory: the engine reaches it only through CEditorNotices.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "shell/AEffEditor.h"

namespace tinypress {
namespace {

class SpyEditor;

// The effect with a spy for its editor.
class SpiedPress : public TinyPress {
  public:
    SpiedPress();
    void scribbleDelay() { setInitialDelay(-1); }
    SpyEditor* spy() const;
};

class SpyEditor : public AEffEditor, public CEditorNotices {
  public:
    // The factory runs inside TinyPress's constructor, before SpiedPress exists: the effect is
    // taken as a SpiedPress only when it notifies the spy later.
    explicit SpyEditor(TinyPress* effect) : AEffEditor(effect), effect(effect) {}
    static CEditorNotices* create(CompressorEffect& effect, VstInt16 panelHeight) {
        EXPECT_EQ(panelHeight, TinyPress::kPanelHeight);
        return new SpyEditor(static_cast<TinyPress*>(&effect));
    }
    void loadStoredDefaults() override { ++storedDefaultsLoads; }
    void showProgramName() override {}
    void showProgramList() override {}
    void setParameter(VstInt32 index, float value) override { ++parameterNotices; }
    void resetMeters() override { ++meterResets; }
    void updateLatencyDisplays() override {
        SpiedPress* fx = static_cast<SpiedPress*>(effect);
        ++calls;
        rate = fx->processingRate();
        delay = fx->getAeffect()->initialDelay;
        settings = fx->settingsNow();
        fx->scribbleDelay();  // the second announcement must come after this call
    }
    TinyPress* effect;
    int storedDefaultsLoads = 0, parameterNotices = 0, meterResets = 0;
    int calls = 0;
    double rate = 0.0;
    VstInt32 delay = 0;
    EngineSettings settings;
};

SpiedPress::SpiedPress()
    : TinyPress(&testsupport::CallbackRecorder::callback, &SpyEditor::create) {}

SpyEditor* SpiedPress::spy() const {
    return static_cast<SpyEditor*>(getEditor());
}

TEST(TinyPressLifecycle, ConstructionMakesTheEditorThroughTheFactoryAndNotifiesIt) {
    testsupport::CallbackRecorder host;
    SpiedPress fx;
    ASSERT_NE(fx.spy(), nullptr);
    EXPECT_NE(fx.getAeffect()->flags & effFlagsHasEditor, 0);
    EXPECT_EQ(fx.spy()->storedDefaultsLoads, 1);
    EXPECT_GE(fx.spy()->parameterNotices, kNumHostParams);  // program 0 selected
    EXPECT_EQ(fx.spy()->meterResets, 1);                    // the constructor's suspend
    const int before = fx.spy()->parameterNotices;
    fx.setParameter(kAttack, 0.25f);
    EXPECT_EQ(fx.spy()->parameterNotices, before + 1);
}

TEST(TinyPressLifecycle, WithoutAFactoryThereIsNoEditorAndTheEngineWorks) {
    testsupport::CallbackRecorder host;
    TinyPress fx(&testsupport::CallbackRecorder::callback);
    EXPECT_EQ(fx.getEditor(), nullptr);
    EXPECT_EQ(fx.getAeffect()->flags & effFlagsHasEditor, 0);
    EXPECT_EQ(fx.dispatcher(effEditOpen, 0, 0, nullptr, 0), 0);
    fx.setParameter(kAttack, 0.25f);
    EXPECT_EQ(fx.getParameter(kAttack), 0.25f);
    fx.resume();
    float left[64] = {0.5f}, right[64] = {0.5f}, outL[64], outR[64];
    float* in[4] = {left, right, left, right};
    float* out[2] = {outL, outR};
    fx.processReplacing(in, out, 64);
    EXPECT_TRUE(std::isfinite(outL[0]));
}

TEST(TinyPressLifecycle, ResumeUpdatesTheLatencyDisplaysAtItsEnd) {
    testsupport::CallbackRecorder host;
    SpiedPress fx;
    fx.setParameter(kLowScf, 0.0f);  // set column: +9 dB; resume makes it +12 dB
    fx.setSampleRate(96000.0f);
    ASSERT_EQ(fx.spy()->calls, 1);
    EXPECT_EQ(fx.spy()->rate, 96000.0);
    EXPECT_EQ(fx.spy()->delay, 925);                // announced before the editor ...
    EXPECT_EQ(fx.getAeffect()->initialDelay, 925);  // ... and again after it
    // Everything else was already done: N, the resume column, the coefficients at 96 kHz.
    EXPECT_EQ(fx.spy()->settings.hilbertLength, 96);
    EXPECT_EQ(fx.spy()->settings.rateHz, 96000.0);
    const EngineSettings now = fx.settingsNow();
    EXPECT_EQ(fx.spy()->settings.lowShelf.b0, now.lowShelf.b0);
    EXPECT_EQ(fx.spy()->settings.attackCoefficient, now.attackCoefficient);
    fx.suspend();
    EXPECT_EQ(fx.spy()->calls, 1);  // suspend does not refresh the read-outs
    fx.resume();
    EXPECT_EQ(fx.spy()->calls, 2);
}

}  // namespace
}  // namespace tinypress
