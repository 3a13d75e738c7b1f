#include "presets/CompressorEffect.h"

#include <cstring>

#include "shell/FamilyIdentity.h"

bool CompressorEffect::getInputProperties(VstInt32 index, VstPinProperties* p) {
    return family::fillPinProperties(index, false, p);
}

bool CompressorEffect::getOutputProperties(VstInt32 index, VstPinProperties* p) {
    return family::fillPinProperties(index, true, p);
}

bool CompressorEffect::setSpeakerArrangement(VstSpeakerArrangement* input,
                                             VstSpeakerArrangement* output) {
    if (!input || !output) return false;
    const int ins = input->numChannels;
    const int outs = output->numChannels;
    // Any pair not listed: refused, no side chain, both right channels in use.
    bool sideChain = false, second = true, secondOut = true, accepted = false;
    if (ins == 1 && outs == 1) {
        second = secondOut = false;
        accepted = true;
    } else if (ins == 1 && outs == 2) {
        second = false;
        accepted = true;
    } else if (ins == 2 && outs == 1) {
        sideChain = true;
        second = secondOut = false;
    } else if (ins == 2 && outs == 2) {
        accepted = true;
    } else if (ins == 4 && outs == 2) {
        sideChain = true;
        accepted = true;
    }
    // A host may go on with an arrangement it was refused: never use a channel it does not give.
    sideChain = sideChain && ins >= 4;
    second = second && ins >= 2;
    secondOut = secondOut && outs >= 2;
    sideChainInputsUsable.store(sideChain, std::memory_order_relaxed);
    secondInput.store(second, std::memory_order_relaxed);
    secondOutput.store(secondOut, std::memory_order_relaxed);
    return accepted;
}

bool CompressorEffect::getVendorString(char* text) {
    std::strcpy(text, family::kVendorString);
    return true;
}

VstInt32 CompressorEffect::getVendorVersion() {
    return family::kVendorVersion;
}

bool CompressorEffect::createEditor(EditorFactory factory, VstInt16 panelHeight) {
    if (!factory) return true;
    return factory(*this, panelHeight) != nullptr;
}

VstIntPtr CompressorEffect::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    using qrx::dsp::InstructionSet;
    if (index == kScaleFactorRequest && value == kScaleFactorValue) {
        CEditorNotices* notices = editorNotices();
        return notices && notices->setHostScaleFactor(opt) ? 1 : 0;
    }
    if (index == kMeterFeedRequest) {
        if (!ptr) return 0;
        *static_cast<const MeterFeed**>(ptr) = &meters;
        return 1;
    }
    if (index != kInstructionSetRequest) return 0;
    if (value == 0)
        kernels.store(static_cast<int>(InstructionSet::Baseline), std::memory_order_relaxed);
    else if (value == 1)
        kernels.store(static_cast<int>(qrx::dsp::bestInstructionSet()), std::memory_order_relaxed);
    if (ptr) *static_cast<const char**>(ptr) = qrx::dsp::instructionSetName(instructionSet());
    return 1;
}
