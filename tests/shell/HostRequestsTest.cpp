// The requests the effect sends back to its host, and their neutral answers without a host.
#include <gtest/gtest.h>

#include "shell/AudioEffectX.h"
#include "support/CallbackRecorder.h"

namespace {

using testsupport::CallbackRecorder;

class Effect : public AudioEffectX {
  public:
    explicit Effect(audioMasterCallback master) : AudioEffectX(master, 1, 4) {}
    void setParameter(VstInt32 index, float value) override { params[index & 3] = value; }
    float getParameter(VstInt32 index) override { return params[index & 3]; }
    float params[4] = {};
};

TEST(HostRequests, AutomationSetsTheParameterFirstThenTellsTheHost) {
    CallbackRecorder host;
    Effect effect(CallbackRecorder::callback);
    effect.setParameterAutomated(3, 0.25f);
    EXPECT_EQ(effect.getParameter(3), 0.25f);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.requests[0].index, 3);
    EXPECT_EQ(host.requests[0].opt, 0.25f);
}

TEST(HostRequests, WithoutACallbackEveryWrapperAnswersNeutrally) {
    Effect effect(nullptr);
    effect.setParameterAutomated(3, 0.25f);
    EXPECT_EQ(effect.getParameter(3), 0.25f);
    EXPECT_FALSE(effect.beginEdit(1));
    EXPECT_FALSE(effect.endEdit(1));
    EXPECT_FALSE(effect.updateDisplay());
    EXPECT_EQ(effect.updateBlockSize(), 1024);
    EXPECT_EQ(effect.getOutputLatency(), 0);
    EXPECT_TRUE(effect.isInputConnected(2));
    EXPECT_TRUE(effect.isOutputConnected(1));
    EXPECT_EQ(effect.getMasterVersion(), 0);
    effect.masterIdle();
}

TEST(HostRequests, BlockSizeTakesOnlyPositiveAnswers) {
    CallbackRecorder host;
    Effect effect(CallbackRecorder::callback);
    host.blockSizeAnswer = 256;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    host.blockSizeAnswer = 0;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    host.blockSizeAnswer = -5;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 3);
}

TEST(HostRequests, PinConnectedHasInvertedSense) {
    CallbackRecorder host;
    host.pinAnswer = [](VstInt32 pin, VstIntPtr isOutput) { return pin == 2 && !isOutput ? 1 : 0; };
    Effect effect(CallbackRecorder::callback);
    EXPECT_FALSE(effect.isInputConnected(2));
    EXPECT_TRUE(effect.isInputConnected(3));
    EXPECT_TRUE(effect.isOutputConnected(2));
    ASSERT_EQ(host.requests.size(), 3u);
    EXPECT_EQ(host.requests[0].opcode, audioMasterPinConnected);
    EXPECT_EQ(host.requests[0].value, 0);
    EXPECT_EQ(host.requests[2].value, 1);
}

TEST(HostRequests, EditGesturesAndDisplayUpdates) {
    CallbackRecorder host;
    Effect effect(CallbackRecorder::callback);
    EXPECT_TRUE(effect.beginEdit(5));
    EXPECT_TRUE(effect.endEdit(5));
    EXPECT_TRUE(effect.updateDisplay());
    effect.masterIdle();
    ASSERT_EQ(host.requests.size(), 4u);
    EXPECT_EQ(host.requests[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(host.requests[0].index, 5);
    EXPECT_EQ(host.requests[1].opcode, audioMasterEndEdit);
    EXPECT_EQ(host.requests[2].opcode, audioMasterUpdateDisplay);
    EXPECT_EQ(host.requests[3].opcode, audioMasterIdle);
}

}  // namespace
