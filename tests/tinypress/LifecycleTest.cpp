// Lifecycle seen by the editor: resume refreshes the editor's latency read-outs at its very end,
// between the two announcements of the delay, once everything else is in place.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "editor/GrandPressEditor.h"

namespace tinypress {
namespace {

class SpyEditor;

// The effect with its editor replaced by a spy.
class SpiedPress : public TinyPress {
  public:
    using TinyPress::TinyPress;
    void installSpy();
    void scribbleDelay() { setInitialDelay(-1); }
    SpyEditor* spy = nullptr;
};

class SpyEditor : public GrandPressEditor {
  public:
    explicit SpyEditor(SpiedPress* fx) : GrandPressEditor(fx, TinyPress::kPanelHeight), fx(fx) {}
    void updateLatencyDisplays() override {
        ++calls;
        rate = fx->processingRate();
        delay = fx->getAeffect()->initialDelay;
        settings = fx->publishedSettings();
        fx->scribbleDelay();  // the second announcement must come after this call
    }
    SpiedPress* fx;
    int calls = 0;
    double rate = 0.0;
    VstInt32 delay = 0;
    EngineSettings settings;
};

void SpiedPress::installSpy() {
    destroyEditor();
    spy = new SpyEditor(this);
}

TEST(TinyPressLifecycle, ResumeUpdatesTheLatencyDisplaysAtItsEnd) {
    testsupport::CallbackRecorder host;
    SpiedPress fx(&testsupport::CallbackRecorder::callback);
    fx.installSpy();
    fx.setParameter(kLowScf, 0.0f);  // set column: +9 dB; resume makes it +12 dB
    fx.setSampleRate(96000.0f);
    ASSERT_EQ(fx.spy->calls, 1);
    EXPECT_EQ(fx.spy->rate, 96000.0);
    EXPECT_EQ(fx.spy->delay, 925);                  // announced before the editor ...
    EXPECT_EQ(fx.getAeffect()->initialDelay, 925);  // ... and again after it
    // Everything else was already done: N, the resume column, the coefficients at 96 kHz.
    EXPECT_EQ(fx.spy->settings.hilbertLength, 96);
    EXPECT_EQ(fx.spy->settings.rateHz, 96000.0);
    const EngineSettings now = fx.publishedSettings();
    EXPECT_EQ(fx.spy->settings.lowShelf.b0, now.lowShelf.b0);
    EXPECT_EQ(fx.spy->settings.attackCoefficient, now.attackCoefficient);
    fx.suspend();
    EXPECT_EQ(fx.spy->calls, 1);  // suspend does not refresh the read-outs
    fx.resume();
    EXPECT_EQ(fx.spy->calls, 2);
}

}  // namespace
}  // namespace tinypress
