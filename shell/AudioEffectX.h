// The extended (VST 2.x) effect base: pin and parameter properties, identity strings,
// speaker arrangements and the extended host requests.
//
// Threads: isInputConnected/isOutputConnected are called on the audio thread inside the process
// entries; updateBlockSize/getOutputLatency on the thread that runs suspend/resume or the
// constructor; everything else on the user-interface thread.
#pragma once

#include "shell/AudioEffect.h"

class AudioEffectX : public AudioEffect {
  public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(audioMaster, numPrograms, numParams) {}

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    virtual VstInt32 processEvents(VstEvents* events) { return 0; }
    virtual bool canParameterBeAutomated(VstInt32 index) { return true; }
    virtual bool string2parameter(VstInt32 index, char* text) { return false; }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
        return false;
    }
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual VstPlugCategory getPlugCategory() { return kPlugCategUnknown; }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input,
                                       VstSpeakerArrangement* output) {
        return false;
    }
    virtual bool setBypass(bool onOff) { return false; }
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return 0;
    }
    virtual VstInt32 canDo(char* text) { return 0; }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* p) { return false; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual bool setProcessPrecision(VstInt32 precision) { return false; }

    // Host requests; each answers neutrally when there is no host callback.
    virtual bool updateDisplay();
    // Asks the host to make the editor's window width x height pixels; true when it did.
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    // Asks the host's block size; a positive answer becomes the stored block size.
    virtual VstInt32 updateBlockSize();
    virtual VstInt32 getOutputLatency();
    // The host answers 0 for a connected pin (inverted sense); no callback counts as connected.
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

  private:
    // The dispatcher's requests with more to them than one call: effSetSpeakerArrangement (input
    // in `value`, output in `ptr`), effEditKeyDown/effEditKeyUp (character in `index`, virtual
    // key in `value`, modifier bits in `opt`) and effSetEditKnobMode; 0 without an editor.
    VstIntPtr takeSpeakerArrangement(VstIntPtr value, void* ptr);
    VstIntPtr editorKey(bool down, VstInt32 index, VstIntPtr value, float opt);
    VstIntPtr setEditorKnobMode(VstIntPtr value);
};
