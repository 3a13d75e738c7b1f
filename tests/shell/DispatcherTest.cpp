// The dispatcher's decoding of host opcodes, on a minimal effect built from the shell.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/AudioEffectX.h"
#include "support/CallbackRecorder.h"

namespace {

int liveEffects = 0;
int liveEditors = 0;

class Editor : public AEffEditor {
  public:
    explicit Editor(AudioEffect* effect) : AEffEditor(effect) { ++liveEditors; }
    ~Editor() override { --liveEditors; }
    bool getRect(ERect** r) override {
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        AEffEditor::open(parent);
        return true;
    }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        return key.character == 'a';
    }
    bool setKnobMode(VstInt32 mode) override {
        knobMode = mode;
        return true;
    }
    ERect rect{0, 0, 460, 450};
    VstKeyCode lastKey{};
    VstInt32 knobMode = -1;
};

class Effect : public AudioEffectX {
  public:
    explicit Effect(audioMasterCallback master) : AudioEffectX(master, 1, 2) { ++liveEffects; }
    ~Effect() override { --liveEffects; }
    void setProgram(VstInt32 program) override { setProgramCalls.push_back(program); }
    void setParameter(VstInt32 index, float value) override { params[index & 1] = value; }
    float getParameter(VstInt32 index) override { return params[index & 1]; }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        return in->numChannels == 2 && out->numChannels == 2;
    }
    std::vector<VstInt32> setProgramCalls;
    float params[2] = {0, 0};
    int suspends = 0, resumes = 0;
};

VstIntPtr dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, op, index, value, ptr, opt);
}

TEST(Dispatcher, AEffectRecordDefaults) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 2);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->uniqueID, vstFourCC('N', 'o', 'E', 'f'));
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, &effect);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
}

TEST(Dispatcher, FlagSettersAreBitOperations) {
    Effect effect(nullptr);
    effect.programsAreChunks(true);
    effect.canDoubleReplacing(true);
    EXPECT_EQ(effect.getAeffect()->flags, 0x1030);
    {
        Editor* editor = new Editor(&effect);
        EXPECT_EQ(effect.getAeffect()->flags, 0x1031);
        EXPECT_EQ(effect.getEditor(), editor);
    }
    effect.canProcessReplacing(false);
    EXPECT_EQ(effect.getAeffect()->flags, 0x1021);
}

TEST(Dispatcher, ConstantAnswers) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    EXPECT_EQ(dispatch(e, effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(e, effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(e, effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(e, effSetTotalSampleToProcess, 0, 4096), 4096);
    EXPECT_EQ(dispatch(e, effGetTailSize), 0);
    EXPECT_EQ(dispatch(e, effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(e, effProcessEvents), 0);
    EXPECT_EQ(dispatch(e, effCanBeAutomated, 7), 1);
    char canDo[] = "receiveVstMidiEvent";
    EXPECT_EQ(dispatch(e, effCanDo, 0, 0, canDo), 0);
    char other[] = "sendVstMidiEvent";
    EXPECT_EQ(dispatch(e, effCanDo, 0, 0, other), 0);
    for (VstInt32 op :
         {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 1000})
        EXPECT_EQ(dispatch(e, op, 1, 1, nullptr, 1.0f), 0) << "opcode " << op;
}

TEST(Dispatcher, ProgramNumberIsComparedAsSigned) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    dispatch(e, effSetProgram, 0, 0);
    dispatch(e, effSetProgram, 0, 1);
    dispatch(e, effSetProgram, 0, -3);
    ASSERT_EQ(effect.setProgramCalls.size(), 2u);
    EXPECT_EQ(effect.setProgramCalls[0], 0);
    EXPECT_EQ(effect.setProgramCalls[1], -3);
}

TEST(Dispatcher, MainsChangedSwitchesSuspendAndResume) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    dispatch(e, effMainsChanged, 0, 1);
    dispatch(e, effMainsChanged, 0, 0);
    dispatch(e, effMainsChanged, 0, 7);
    EXPECT_EQ(effect.resumes, 2);
    EXPECT_EQ(effect.suspends, 1);
    dispatch(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    dispatch(e, effSetBlockSize, 0, 256);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
}

TEST(Dispatcher, EditorOpcodesNeedAnEditor) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 0);
    EXPECT_EQ(dispatch(e, effEditKeyDown, 'a', 0), 0);
    EXPECT_EQ(dispatch(e, effSetEditKnobMode, 0, 2), 0);

    Editor* editor = new Editor(&effect);
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect, &editor->rect);
    EXPECT_EQ(rect->bottom, 460);
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 1);
    EXPECT_TRUE(editor->isOpen());
    dispatch(e, effEditClose);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(dispatch(e, effEditKeyDown, 'a', 65, nullptr, 4.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 'a');
    EXPECT_EQ(editor->lastKey.virt, 65);
    EXPECT_EQ(editor->lastKey.modifier, 4);
    EXPECT_EQ(dispatch(e, effEditKeyUp, 'a', 0), 0);
    EXPECT_EQ(dispatch(e, effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(editor->knobMode, 2);
}

TEST(Dispatcher, SpeakerArrangementPointers) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = 2;
    EXPECT_EQ(dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
    out.numChannels = 1;
    EXPECT_EQ(dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    // A host passing no arrangement is refused rather than followed into a null pointer.
    EXPECT_EQ(dispatch(e, effSetSpeakerArrangement, 0, 0, &out), 0);
    EXPECT_EQ(dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), nullptr),
              0);

    VstSpeakerArrangement* inPtr = &in;
    VstSpeakerArrangement* outPtr = &out;
    EXPECT_EQ(
        dispatch(e, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&inPtr), &outPtr), 0);
    EXPECT_EQ(inPtr, nullptr);
    EXPECT_EQ(outPtr, nullptr);
}

TEST(Dispatcher, NullHostBuffersAreIgnored) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    for (VstInt32 op : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                        effGetChunk, effGetEffectName, effGetVendorString, effGetProductString,
                        effGetInputProperties, effGetParameterProperties, effGetProgramNameIndexed})
        EXPECT_EQ(dispatch(e, op), 0) << "opcode " << op;
}

TEST(Dispatcher, CloseThroughTheRecordDeletesEffectAndEditor) {
    liveEffects = liveEditors = 0;
    auto* effect = new Effect(nullptr);
    new Editor(effect);
    ASSERT_EQ(liveEffects, 1);
    ASSERT_EQ(liveEditors, 1);
    AEffect* e = effect->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(liveEffects, 0);
    EXPECT_EQ(liveEditors, 0);
}

TEST(Dispatcher, RecordTrampolinesReachTheEffect) {
    Effect effect(nullptr);
    AEffect* e = effect.getAeffect();
    e->setParameter(e, 1, 0.25f);
    EXPECT_EQ(e->getParameter(e, 1), 0.25f);
    float in[4] = {1, 2, 3, 4}, out[4] = {9, 9, 9, 9};
    float* ins[1] = {in};
    float* outs[1] = {out};
    e->process(e, ins, outs, 4);  // the deprecated entry leaves the outputs alone
    EXPECT_EQ(out[0], 9.0f);
}

}  // namespace
