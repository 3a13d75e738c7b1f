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

    publishAll(44100.0);
    {
        std::lock_guard<std::mutex> lock(writerMutex);
        path = new (std::nothrow) SignalPath(writerSettings);
    }
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

void GrandPress::publishParameter(int index) {
    float p[kNumParams];
    std::lock_guard<std::mutex> lock(writerMutex);
    for (int i = 0; i < kNumParams; ++i) p[i] = params[i].load(kRelaxed);
    applyParameter(writerSettings, index, p);
    exchange.publish(writerSettings);
}

void GrandPress::publishAll(double rateHz) {
    float p[kNumParams];
    std::lock_guard<std::mutex> lock(writerMutex);
    for (int i = 0; i < kNumParams; ++i) p[i] = params[i].load(kRelaxed);
    applyAll(writerSettings, p, rateHz);
    exchange.publish(writerSettings);
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
    publishAll(hostRate);
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
    publishAll(rate.load(kRelaxed));
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

    EngineSettings next;
    path->adopt(exchange.tryRead(next) ? next : path->settings());
    const EngineSettings& s = path->settings();

    // Buffer selection: a pointer is used only when the arrangement allows it, it exists and the
    // host reports the pin connected (asked in that order, so no absent pointer is ever read).
    const bool second = secondInputUsable();
    const bool sideChain = sideChainInputsUsable.load(kRelaxed);
    HostBuffers<Sample> io;
    io.mainLeft = inputs[0];
    io.mainRight = second && inputs[1] && isInputConnected(1) ? inputs[1] : inputs[0];
    io.outLeft = outputs[0];
    io.outRight =
        secondOutputUsable() && outputs[1] && isOutputConnected(1) ? outputs[1] : outputs[0];
    io.sideLeft = io.mainLeft;
    io.sideRight = io.mainRight;
    if (s.sideChainExternal) {
        const bool leftPin = sideChain && inputs[2] && isInputConnected(2);
        io.sideLeft = leftPin ? inputs[2] : inputs[0];
        io.sideRight = sideChain && inputs[3] && isInputConnected(3) ? inputs[3]
                       : leftPin                                     ? io.sideLeft
                                                                     : io.mainRight;
    }
    path->process(io, frames, meters);
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
        applyDerived(index, value);
        publishParameter(index);
        if (index < kNumHostParams) recordParameter(index, value);
    }
    // The editor also hears of its own page switches and other editor-only indices.
    if (CEditorNotices* e = editorNotices()) e->setParameter(index, value);
}

void GrandPress::applyDerived(int index, float v) {
    DerivedValues& d = derivedValues;
    switch (index) {
        case kPower:
            d.power.store(switchOf(v), kRelaxed);
            break;
        case kFat:
            d.fat.store(switchOf(v), kRelaxed);
            break;
        case kSoft:
            d.soft.store(switchOf(v), kRelaxed);
            break;
        case kRms:
            d.rms.store(switchOf(v), kRelaxed);
            break;
        case kLimiter:
            d.limiter.store(switchOf(v), kRelaxed);
            break;
        case kThreshold: {
            const double scale = thresholdScaleOf(v);
            d.thresholdScale.store(scale, kRelaxed);
            d.inverseThresholdScale.store(1.0 / scale, kRelaxed);
            break;
        }
        case kRatio: {
            const int k = ratioStepOf(v);
            const double ratio = ratioOfStep(k);
            d.ratioStep.store(k, kRelaxed);
            d.ratio.store(ratio, kRelaxed);
            d.inverseRatio.store(1.0 / ratio, kRelaxed);
            applyDerived(kTilt, params[kTilt].load(kRelaxed));  // tilt sides follow the step
            break;
        }
        case kAttack:
            d.attackMs.store(attackMsOf(v), kRelaxed);
            break;
        case kAutoAttack:
            d.autoAttack.store(switchOf(v), kRelaxed);
            break;
        case kRelease:
            d.releaseMs.store(1000.0 * releaseSecondsOf(v), kRelaxed);
            break;
        case kAutoRelease:
            d.autoRelease.store(switchOf(v), kRelaxed);
            break;
        case kMakeup:
            d.makeupGain.store(makeupGainOf(v), kRelaxed);
            break;
        case kAutoMakeup:
            d.autoMakeup.store(switchOf(v), kRelaxed);
            break;
        case kHighScf:
            d.highShelfBoost.store(switchOf(v), kRelaxed);
            break;
        case kHigh:
            d.sideChainHighHz.store(sideChainHighHzOf(v), kRelaxed);
            break;
        case kLowScf:
            d.lowShelfBoost.store(switchOf(v), kRelaxed);
            break;
        case kLow:
            d.sideChainLowHz.store(sideChainLowHzOf(v), kRelaxed);
            break;
        case kLinkHighCut:
            d.linkHighCut.store(switchOf(v), kRelaxed);
            break;
        case kLinkLowCut:
            d.linkLowCut.store(switchOf(v), kRelaxed);
            break;
        case kLink:
            d.linkAmount.store(linkAmountOf(v), kRelaxed);
            break;
        case kTilt: {
            const TiltGains g = tiltGainsOf(v, d.ratioStep.load(kRelaxed));
            d.tiltGainLeft.store(g.left, kRelaxed);
            d.tiltGainRight.store(g.right, kRelaxed);
            break;
        }
        case kMix:
            d.mixAmount.store(v, kRelaxed);
            break;
        case kOutput:
            d.outputGain.store(outputGainOf(v), kRelaxed);
            break;
        case kClassic:
            d.classic.store(switchOf(v), kRelaxed);
            break;
        case kScExt:
            d.sideChainExternal.store(switchOf(v), kRelaxed);
            break;
        case kSmooth:
            d.smooth.store(switchOf(v), kRelaxed);
            break;
        case kScMonitor:
            d.sideChainMonitor.store(switchOf(v), kRelaxed);
            break;
        case kVuIntegration:
            d.vuIntegrationMs.store(vuIntegrationMsOf(v), kRelaxed);
            break;
        case kVuReference: {
            const double reference = vuReferenceOf(v);
            d.vuReference.store(reference, kRelaxed);
            d.inverseVuReference.store(1.0 / reference, kRelaxed);
            break;
        }
        case kPpmIntegration:
            d.ppmIntegrationMs.store(ppmIntegrationMsOf(v), kRelaxed);
            break;
        case kPpmReturn:
            d.ppmReturnMs.store(ppmReturnMsOf(v), kRelaxed);
            break;
        case kOverIndicator:
            d.overSamples.store(overSamplesOf(v), kRelaxed);
            break;
        default:
            break;  // Meters (read per block) and the spare slots
    }
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

double GrandPress::getLatencyMs() {
    return family::latencyMs(kLatencySamples, getSampleRate());
}

}  // namespace grandpress
