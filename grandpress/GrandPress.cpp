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
    : EngineEffect(audioMaster, kFactoryPrograms, "QRX GrandPress",
                   "QRX GrandPress - stereo mastering compressor", applyAll, applyParameter) {
    setNumInputs(4);
    setNumOutputs(2);
    canProcessReplacing(true);
    canDoubleReplacing(true);
    setUniqueID(kUniqueId);
    setInitialDelay(kLatencySamples);

    EngineSettings initial;
    applyAll(initial, handOver.adopted(), handOver.rate());
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
        meter_settings::write(i, handOver.value(i));
    delete path;
}

void GrandPress::adoptChanges() noexcept {
    const auto changes = handOver.take();
    if (!changes.any()) {
        path->adopt(path->settings());  // reset requests are still looked at
        return;
    }
    EngineSettings next = path->settings();
    handOver.build(next, changes);
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
    handOver.setRate(hostRate);
    handOver.requestRebuild();
    path->requestReset();
    updateBlockSize();
    getOutputLatency();
    meters.reset();
    if (CEditorNotices* e = editorNotices()) e->resetMeters();
}

void GrandPress::resume() {
    if (failed) return;
    const double hostRate = getSampleRate();
    handOver.setRate(rateSupported(hostRate) ? hostRate : 44100.0);
    handOver.requestRebuild();
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
        handOver.set(index, value);
        if (index < kNumHostParams) recordParameter(index, value);
    }
    // The editor also hears of its own page switches and other editor-only indices.
    if (CEditorNotices* e = editorNotices()) e->setParameter(index, value);
}

double GrandPress::getLatencyMs() {
    return family::latencyMs(kLatencySamples, getSampleRate());
}

}  // namespace grandpress
