// The audioMasterCallback the adaptor gives the effect: the host's answers and the automation
// that travels from the effect to the host controls. Called on whichever thread the effect
// calls from; nothing here allocates or blocks.
#include <cstring>

#include "wrapper/CPluginWrapper.h"

namespace {

// Capabilities the adaptor answers; any other text answers 0. Exact, case-sensitive.
struct CanDoAnswer {
    const char* text;
    VstIntPtr answer;
};
constexpr CanDoAnswer kCanDo[] = {
    {"sendVstEvents", 1},
    {"sendVstMidiEvent", 1},
    {"sendVstTimeInfo", 1},
    {"receiveVstEvents", 0},
    {"receiveVstMidiEvent", 0},
    {"receiveVstTimeInfo", 0},
    {"reportConnectionChanges", 0},
    {"acceptIOChanges", 0},
    {"sizeWindow", 1},
    {"asyncProcessing", 0},
    {"offline", 0},
    {"supplyIdle", 1},
    {"supportShell", 0},
};

VstIntPtr canDo(const char* text) {
    if (text == nullptr) return 0;
    for (const CanDoAnswer& c : kCanDo)
        if (std::strcmp(c.text, text) == 0) return c.answer;
    return 0;
}

// Answers that do not need an adaptor (also used while the effect is not yet attached).
bool answerWithoutAdaptor(VstInt32 opcode, void* ptr, VstIntPtr* answer) {
    switch (opcode) {
        case audioMasterVersion:
            *answer = 2;
            return true;
        case audioMasterCurrentId:
            *answer = CPluginWrapper::kCurrentId;
            return true;
        case audioMasterGetVendorString:
            if (ptr) std::strcpy(static_cast<char*>(ptr), "QRXsoundwerk");
            *answer = ptr != nullptr;
            return true;
        case audioMasterGetProductString:
            if (ptr) std::strcpy(static_cast<char*>(ptr), "Vst2Nrtx");
            *answer = ptr != nullptr;
            return true;
        case audioMasterGetCurrentProcessLevel:  // 23; 35 is the vendor-specific request
            *answer = 1;
            return true;
        case audioMasterCanDo:
            *answer = canDo(static_cast<const char*>(ptr));
            return true;
        default:
            return false;
    }
}

}  // namespace

VstIntPtr CPluginWrapper::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt) {
    auto* self = effect ? reinterpret_cast<CPluginWrapper*>(effect->resvd1) : nullptr;
    if (self != nullptr) return self->AnswerHost(opcode, index, value, ptr, opt);
    VstIntPtr answer = 0;
    if (answerWithoutAdaptor(opcode, ptr, &answer)) return answer;
    if (opcode == audioMasterGetSampleRate) return static_cast<VstIntPtr>(kDefaultSampleRate);
    if (opcode == audioMasterGetBlockSize) return kDefaultBlockSize;
    if (opcode == audioMasterPinConnected) return index <= 3 ? 0 : 1;
    return 0;
}

VstIntPtr CPluginWrapper::AnswerHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) {
    VstIntPtr answer = 0;
    if (answerWithoutAdaptor(opcode, ptr, &answer)) return answer;
    switch (opcode) {
        case audioMasterAutomate:
            if (opt >= 0.0f && opt <= 1.0f) {
                if (callback_ && !restoring_.load(std::memory_order_relaxed))
                    callback_->AutomateParameter(index, opt);
            } else if (index >= 0 && index < numParams_ && hostWriteBlocked_) {
                hostWriteBlocked_[index].store(1, std::memory_order_relaxed);
            }
            return 0;
        case audioMasterIdle:
            if (callback_) callback_->RequestIdle();
            return 0;
        case audioMasterPinConnected:
            return index <= 3 ? 0 : 1;
        case audioMasterSizeWindow:
            return ResizeEditor(index, static_cast<int>(value)) ? 1 : 0;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(&timeInfo_);
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterUpdateDisplay:
            if (callback_ && !restoring_.load(std::memory_order_relaxed))
                callback_->RefreshAllParameters();
            currentProgram_ = static_cast<int>(dispatch(effGetProgram));
            return 0;
        default:
            return 0;
    }
}
