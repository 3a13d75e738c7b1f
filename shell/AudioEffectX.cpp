#include "shell/AudioEffectX.h"

#include "shell/AEffEditor.h"

bool AudioEffectX::updateDisplay() {
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

VstInt32 AudioEffectX::updateBlockSize() {
    const VstIntPtr answer = callHost(audioMasterGetBlockSize);
    if (answer > 0 && answer <= 0x7FFFFFFF) blockSize.store(static_cast<VstInt32>(answer));
    return getBlockSize();
}

VstInt32 AudioEffectX::getOutputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency));
}

bool AudioEffectX::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffectX::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

namespace {

// The 2.x requests answered with 0 whatever they carry: offline processing, variable I/O, MIDI
// programs, key names and channels, program and bank loading notices, shell plug-ins, start and
// stop of processing and the pan law.
constexpr VstInt32 kAnsweredWithZero[] = {
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effGetMidiProgramName,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effShellGetNextPlugin,
    effStartProcess,
    effStopProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram,
    effGetNumMidiInputChannels,
    effGetNumMidiOutputChannels,
};

bool answeredWithZero(VstInt32 opcode) {
    for (const VstInt32 o : kAnsweredWithZero)
        if (o == opcode) return true;
    return false;
}

// effGetSpeakerArrangement: the effect keeps no arrangement, so both answers are null.
void clearSpeakerArrangements(VstIntPtr value, void* ptr) {
    if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = nullptr;
    if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = nullptr;
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    if (answeredWithZero(opcode)) return 0;
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            return ptr && string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProgramNameIndexed:
            return ptr && getProgramNameIndexed(static_cast<VstInt32>(value), index,
                                                static_cast<char*>(ptr))
                       ? 1
                       : 0;
        case effGetInputProperties:
            return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effSetSpeakerArrangement:
            return takeSpeakerArrangement(value, ptr);
        case effGetSpeakerArrangement:
            clearSpeakerArrangements(value, ptr);
            return 0;
        case effSetBypass:
            return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName:
            return ptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorString:
            return ptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProductString:
            return ptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return ptr ? canDo(static_cast<char*>(ptr)) : 0;
        case effGetTailSize:
            return getGetTailSize();
        case effGetParameterProperties:
            return ptr && getParameterProperties(index, static_cast<VstParameterProperties*>(ptr))
                       ? 1
                       : 0;
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp:
            return editorKey(opcode == effEditKeyDown, index, value, opt);
        case effSetEditKnobMode:
            return setEditorKnobMode(value);
        case effGetCurrentMidiProgram:
            return -1;
        case effSetTotalSampleToProcess:
            return value;
        case effSetProcessPrecision:
            return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
        default:
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstIntPtr AudioEffectX::takeSpeakerArrangement(VstIntPtr value, void* ptr) {
    auto* input = reinterpret_cast<VstSpeakerArrangement*>(value);
    auto* output = static_cast<VstSpeakerArrangement*>(ptr);
    // A host that passes no arrangement gets a refusal, not a crash.
    if (!input || !output) return 0;
    return setSpeakerArrangement(input, output) ? 1 : 0;
}

VstIntPtr AudioEffectX::editorKey(bool down, VstInt32 index, VstIntPtr value, float opt) {
    if (!editor) return 0;
    // opt carries the modifier bits as a float; converting a NaN, an infinity or a value beyond
    // int to an integer is undefined, so those count as no modifier.
    const int modifiers = opt >= 0.0f && opt <= 255.0f ? static_cast<int>(opt) : 0;
    VstKeyCode keyCode{index, static_cast<unsigned char>(value),
                       static_cast<unsigned char>(modifiers)};
    const bool used = down ? editor->onKeyDown(keyCode) : editor->onKeyUp(keyCode);
    return used ? 1 : 0;
}

VstIntPtr AudioEffectX::setEditorKnobMode(VstIntPtr value) {
    if (!editor) return 0;
    editor->setKnobMode(static_cast<VstInt32>(value));
    return 1;
}
