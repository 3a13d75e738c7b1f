#include "grandpress/GrandPress.h"

#include <cstring>
#include <new>

#include "editor/MeterSettingsStore.h"
#include "grandpress/FactoryPrograms.h"
#include "grandpress/Mappings.h"
#include "grandpress/SignalPath.h"
#include "platform/MessageBox.h"
#include "shell/FamilyIdentity.h"

namespace grandpress {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Meter settings found out of range in the store are replaced by these.
constexpr float kMeterSettingDefaults[] = {0.5f, 0.5f, 0.52f, 0.72365f, 0.25f};

bool rateSupported(double rate) {
    return rate >= 22050.0 && rate <= 192000.0;
}

}  // namespace

GrandPress::GrandPress(audioMasterCallback audioMaster, EditorFactory editorFactory)
    : CompressorEffect(audioMaster, kFactoryPrograms) {
    for (auto& p : params) p.store(0.0f, kRelaxed);
    setNumInputs(4);
    setNumOutputs(2);
    canProcessReplacing(true);
    canDoubleReplacing(true);
    setUniqueID(kUniqueId);
    setInitialDelay(kLatencySamples);

    EngineSettings initial;
    applyAll(initial, adopted, rate.load(kRelaxed));
    path = new (std::nothrow) SignalPath(initial);
    if (!path) failed = true;

    for (int i = meter_settings::kFirstIndex; i <= meter_settings::kLastIndex; ++i) {
        float v = meter_settings::read(i);
        if (!(v >= 0.0f && v <= 1.0f)) v = kMeterSettingDefaults[i - meter_settings::kFirstIndex];
        setParameter(i, v);
    }

    if (!failed && !createEditor(editorFactory, kPanelHeight)) failed = true;
    if (failed) {
        // Inert but loadable: the host sees a one-in, one-out effect of unknown identity.
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(vstFourCC('-', '-', '-', '-'));
    }
    loadStoredDefaults();
    selectProgram(0);
    updateBlockSize();
    getOutputLatency();
    suspend();
}

GrandPress::~GrandPress() {
    destroyEditor();
    for (int i = meter_settings::kFirstIndex; i <= meter_settings::kLastIndex; ++i)
        meter_settings::write(i, params[i].load(kRelaxed));
    delete path;
}

EngineSettings GrandPress::settingsNow() const {
    float p[kNumParams];
    for (int i = 0; i < kNumParams; ++i) p[i] = params[i].load(kRelaxed);
    EngineSettings s;
    applyAll(s, p, rate.load(kRelaxed));
    return s;
}

void GrandPress::adoptChanges() noexcept {
    const std::uint32_t rebuild = rebuildRequests.load(std::memory_order_acquire);
    std::uint64_t changed = changedParameters.exchange(0, std::memory_order_acquire);
    if (rebuild == rebuildsDone && changed == 0) {
        path->adopt(path->settings());  // reset requests are still looked at
        return;
    }
    // Values are read after their bits were taken: a value newer than its bit is read again with
    // the next block, so the settings always belong to one set of values in `adopted`.
    for (int i = 0; i < kNumParams; ++i)
        if (changed & (std::uint64_t{1} << i)) adopted[i] = params[i].load(kRelaxed);
    EngineSettings next = path->settings();
    if (rebuild != rebuildsDone) {
        rebuildsDone = rebuild;
        applyAll(next, adopted, rate.load(kRelaxed));
    } else {
        for (int i = 0; i < kNumParams; ++i)
            if (changed & (std::uint64_t{1} << i)) applyParameter(next, i, adopted);
    }
    path->adopt(next);
}

void GrandPress::suspend() {
    if (failed) {
        platform::showMessageBox(u"Not enough memory", u"Cannot create QRX GrandPress");
        return;
    }
    double hostRate = getSampleRate();
    if (!(hostRate >= 22050.0)) hostRate = 22050.0;  // also a NaN rate
    if (hostRate > 192000.0) hostRate = 192000.0;
    rate.store(hostRate, kRelaxed);
    rebuildRequests.fetch_add(1, std::memory_order_release);
    path->requestReset();
    updateBlockSize();
    getOutputLatency();
    meters.reset();
    if (CEditorNotices* e = editorNotices()) e->resetMeters();
}

void GrandPress::resume() {
    if (failed) return;
    const double hostRate = getSampleRate();
    rate.store(rateSupported(hostRate) ? hostRate : 44100.0, kRelaxed);
    rebuildRequests.fetch_add(1, std::memory_order_release);
    updateBlockSize();
    getOutputLatency();
    setInitialDelay(kLatencySamples);
}

template <typename Sample>
void GrandPress::passThrough(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept {
    if (!inputs || !outputs || frames <= 0) return;
    // The inert effect announced one input and one output: no second pointer exists then.
    const int inRight = !failed && secondInputUsable() ? 1 : 0;
    const int outs = !failed && secondOutputUsable() ? 2 : 1;
    Sample* const sources[2] = {inputs[0], inputs[inRight]};
    for (int c = 0; c < outs; ++c)
        if (outputs[c] && sources[c] && outputs[c] != sources[c])
            std::memmove(outputs[c], sources[c], sizeof(Sample) * static_cast<size_t>(frames));
}

template <typename Sample>
void GrandPress::processBlock(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept {
    if (failed || !path) {
        passThrough(inputs, outputs, frames);
        return;
    }
    if (!inputs || !outputs || !inputs[0] || !outputs[0] || frames <= 0) return;

    adoptChanges();
    const EngineSettings& s = path->settings();

    // Buffer selection: a pointer is used only when the arrangement allows it, it exists and the
    // host reports the pin connected (asked in that order, so no absent pointer is ever read).
    HostBuffers<Sample> io;
    qrx::dsp::InputFlags flags;
    flags.rightInput = secondInputUsable();
    flags.sideChainInputs = sideChainInputsUsable.load(kRelaxed);
    flags.externalSideChain = s.sideChainExternal != 0;
    qrx::dsp::selectInputs(
        inputs, flags, [this](int pin) { return isInputConnected(pin); }, io);
    qrx::dsp::selectOutputs(
        outputs, secondOutputUsable(), [this](int pin) { return isOutputConnected(pin); }, io);
    path->process(io, frames, meters, instructionSet());
}

void GrandPress::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    processBlock(inputs, outputs, frames);
}

void GrandPress::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    processBlock(inputs, outputs, frames);
}

void GrandPress::setParameter(VstInt32 index, float value) {
    if (index < 0 || !family::sanitizeParameterValue(value)) return;
    if (index < kNumParams && index != kNoParam) {
        if (index == kOverIndicator) value = static_cast<float>(overStepOf(value)) / 9.0f;
        params[index].store(value, kRelaxed);
        changedParameters.fetch_or(std::uint64_t{1} << index, std::memory_order_release);
        if (index < kNumHostParams) recordParameter(index, value);
    }
    // The editor also hears of its own page switches and other editor-only indices.
    if (CEditorNotices* e = editorNotices()) e->setParameter(index, value);
}

float GrandPress::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams) return 0.0f;
    return params[index].load(kRelaxed);
}

void GrandPress::getParameterDisplay(VstInt32 index, char* text) {
    formatParamDisplay(index, getParameter(index), text);
}

void GrandPress::getParameterName(VstInt32 index, char* text) {
    std::strcpy(text, paramSpec(index).name);
}

bool GrandPress::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
    return fillParamProperties(index, p);
}

bool GrandPress::getEffectName(char* name) {
    std::strcpy(name, "QRX GrandPress");
    return true;
}

bool GrandPress::getProductString(char* text) {
    std::strcpy(text, "QRX GrandPress - stereo mastering compressor");
    return true;
}

float GrandPress::getDisplayValue(VstInt32 index) {
    return editorValueOf(index, getParameter(index));
}

float GrandPress::normalisedOfDisplayValue(VstInt32 index, double value) {
    return normalisedOfEditorValue(index, value);
}

double GrandPress::getLatencyMs() {
    return family::latencyMs(kLatencySamples, getSampleRate());
}

}  // namespace grandpress
