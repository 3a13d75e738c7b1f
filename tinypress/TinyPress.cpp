#include "tinypress/TinyPress.h"

#include <cmath>
#include <cstring>
#include <new>

#include "dsp/GlidingBiquad.h"
#include "editor/MeterSettingsStore.h"
#include "platform/MessageBox.h"
#include "shell/FamilyIdentity.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/InputSelection.h"
#include "tinypress/Mappings.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

// Meter settings found out of range in the store are replaced by these (indices 36..40).
constexpr float kMeterSettingDefaults[] = {0.5f, 0.5f, 0.52f, 0.72365f, 0.25f};

constexpr VstInt32 kDefaultBlockSize = 1024;

bool rateSupported(double hostRate) {
    return hostRate >= 22050.0 && hostRate <= 192000.0;
}

void showOutOfMemory() {
    platform::showMessageBox(u"Not enough memory", u"Cannot create QRX TinyPress");
}

}  // namespace

TinyPress::TinyPress(audioMasterCallback audioMaster, EditorFactory editorFactory)
    : CompressorEffect(audioMaster, kFactoryPrograms) {
    for (auto& p : params) p.store(0.0f, kRelaxed);
    setNumInputs(4);
    setNumOutputs(2);
    canProcessReplacing(true);
    canDoubleReplacing(false);
    setUniqueID(kUniqueId);
    setInitialDelay(getLatencySamples());

    meterScales.reset(new (std::nothrow) double[kMeterScaleEntries]);
    path.reset(new (std::nothrow) SignalPath());
    if (!meterScales || !path) failed = true;
    if (!failed) {
        applyDefaults();
        readMeterSettings();
        applyParameter(kMeters, 0.5f);
        for (int i = 0; i < kMeterScaleEntries; ++i) meterScales[i] = std::pow(i, 0.05);
        if (!createEditor(editorFactory, kPanelHeight)) failed = true;
    }
    if (failed) {
        // Inert but loadable: the host sees a one-in, one-out effect of unknown identity.
        setNumInputs(1);
        setNumOutputs(1);
        setUniqueID(vstFourCC('-', '-', '-', '-'));
        showOutOfMemory();
        return;
    }
    loadStoredDefaults();
    selectProgram(0);
    suspend();
}

TinyPress::~TinyPress() {
    destroyEditor();
    // Settings never read (inert effect) are not written: that would overwrite the user's
    // shared settings with zeros.
    if (!meterSettingsRead) return;
    for (int i = meter_settings::kFirstIndex; i <= meter_settings::kLastIndex; ++i)
        meter_settings::write(i, params[i].load(kRelaxed));
}

void TinyPress::applyDefaults() {
    struct Default {
        int index;
        float value;
    };
    // Values before any program is applied; the side-chain filter modes 0 take effect in the
    // filters at the first resume.
    static constexpr Default kDefaults[] = {
        {kThreshold, 0.1667f}, {kRatio, 0.5f},    {kAttack, 0.5f},    {kRelease, 0.5f},
        {kAutoRelease, 0.51f}, {kLowScf, 0.0f},   {kHighScf, 0.0f},   {kMakeup, 0.33333334f},
        {kOutput, 0.5f},       {kHidden21, 0.5f}, {kLink, 0.5f},      {kMix, 1.0f},
        {kClassic, 0.0f},      {kScExt, 0.0f},    {kScMonitor, 0.0f}, {kStereo, 0.51f},
        {kMeters, 0.5f},
    };
    for (const Default& d : kDefaults) applyParameter(d.index, d.value);
}

void TinyPress::readMeterSettings() {
    for (int i = meter_settings::kFirstIndex; i <= meter_settings::kLastIndex; ++i) {
        float v = meter_settings::read(i);
        if (!(v >= 0.0f && v <= 1.0f)) v = kMeterSettingDefaults[i - meter_settings::kFirstIndex];
        applyParameter(i, v);
    }
    meterSettingsRead = true;
}

void TinyPress::suspend() {
    if (failed) {
        showOutOfMemory();
        return;
    }
    double hostRate = getSampleRate();
    if (!(hostRate >= 22050.0)) hostRate = 22050.0;  // also a NaN rate
    if (hostRate > 192000.0) hostRate = 192000.0;
    rate.store(hostRate, kRelaxed);
    meters.reset();
    if (CEditorNotices* e = editorNotices()) e->resetMeters();
    publishWithReset(Reset::Full, false);
}

void TinyPress::resume() {
    if (failed) {
        showOutOfMemory();
        return;
    }
    const double hostRate = getSampleRate();
    rate.store(rateSupported(hostRate) ? hostRate : 44100.0, kRelaxed);
    if (getBlockSize() < 1) AudioEffect::setBlockSize(kDefaultBlockSize);
    resetSignalPath();
    publishWithReset(Reset::None, true);
    setInitialDelay(getLatencySamples());
    if (CEditorNotices* e = editorNotices()) e->updateLatencyDisplays();
    setInitialDelay(getLatencySamples());
}

void TinyPress::setSampleRate(float hostRate) {
    AudioEffect::setSampleRate(hostRate);
    suspend();
    resume();
}

void TinyPress::setBlockSize(VstInt32 size) {
    AudioEffect::setBlockSize(size < 1 ? kDefaultBlockSize : size);
}

VstInt32 TinyPress::getLatencySamples() {
    const VstInt32 samples = latencySamplesOf(getSampleRate());
    latency.store(samples, kRelaxed);
    return samples;
}

double TinyPress::getLatencyMs() {
    return family::latencyMs(getLatencySamples(), getSampleRate());
}

void TinyPress::resetSignalPath() {
    derivedValues.hilbertLength.store(hilbertLengthOf(rate.load(kRelaxed)), kRelaxed);
}

void TinyPress::processReplacing(float** inputs, float** outputs, VstInt32 frames) noexcept {
    if (failed || !path || frames <= 0) return;
    if (exchange.tryRead(incoming)) path->adopt(incoming);
    InputFlags flags;
    flags.rightInput = secondInput.load(kRelaxed);
    flags.sideChainInputs = sideChainInputsUsable.load(kRelaxed);
    flags.externalSideChain = path->settings().sideChainExternal != 0;
    const HostStreams io =
        selectStreams(inputs, outputs, flags, [this](int pin) { return isInputConnected(pin); });
    path->process(io, frames, meters);
}

EngineSettings TinyPress::publishedSettings() {
    std::lock_guard<std::mutex> lock(writerMutex);
    return writerSettings;
}

void TinyPress::rebuildSettings() {
    EngineSettings& w = writerSettings;
    const DerivedValues& d = derivedValues;
    const double fs = rate.load(kRelaxed);
    using namespace qrx::dsp;
    w.rateHz = fs;
    const int taps = d.hilbertLength.load(kRelaxed);
    w.hilbertLength = taps < 1 ? 1 : (taps > kMaxHilbertLength ? kMaxHilbertLength : taps);

    w.power = d.power.load(kRelaxed);
    w.stereo = d.stereo.load(kRelaxed);
    w.link = d.link.load(kRelaxed);
    w.smooth = d.smooth.load(kRelaxed);
    w.rms = d.rms.load(kRelaxed);
    w.autoRelease = d.autoRelease.load(kRelaxed);
    w.softKnee = d.softKnee.load(kRelaxed);
    w.autoMakeup = d.autoMakeup.load(kRelaxed);
    w.sideChainExternal = d.sideChainExternal.load(kRelaxed);
    w.sideChainMonitor = d.sideChainMonitor.load(kRelaxed);
    w.meterSource = d.meterSource.load(kRelaxed);
    w.compressing = params[kRatio].load(kRelaxed) >= 0.3f;
    w.overSamples = d.overSamples.load(kRelaxed);

    const bool rms = w.rms != 0;
    w.attackCoefficient = attackCoefficientOf(d.attackMs.load(kRelaxed), fs, rms);
    w.releaseCoefficient = releaseCoefficientOf(d.releaseSeconds.load(kRelaxed), fs, rms);
    w.thresholdGain = d.thresholdGain.load(kRelaxed);
    w.inverseRatio = d.inverseRatio.load(kRelaxed);
    w.kneeLowY = d.kneeLowY.load(kRelaxed);
    w.kneeHighY = d.kneeHighY.load(kRelaxed);
    w.autoMakeupGain = d.autoMakeupGain.load(kRelaxed);
    w.makeupTarget = d.makeupTargetGain.load(kRelaxed);
    w.outputTarget = d.outputTargetGain.load(kRelaxed);

    w.shelfGlideRate = glideRatePerSample(fs, kGlideRateAbove50kHz);
    w.lowShelf = biquadCoefficientsOf(kBiquadLowShelf, lowShape.cornerHz, lowShape.quality,
                                      lowShape.gainDb, fs);
    w.highShelf = biquadCoefficientsOf(kBiquadHighShelf, highShape.cornerHz, highShape.quality,
                                       highShape.gainDb, fs);
    w.releaseFast = biquadCoefficientsOf(kBiquadLowPass, kReleaseFastHz, kReleaseQuality, 0.0, fs);
    w.releaseSlow = biquadCoefficientsOf(kBiquadLowPass, kReleaseSlowHz, kReleaseQuality, 0.0, fs);
    w.vu = biquadCoefficientsOf(kBiquadLowPass, d.vuCornerHz.load(kRelaxed), kVuQuality, 0.0, fs);

    w.meterMix = d.meterMix.load(kRelaxed);
    w.meterScale = d.meterScale.load(kRelaxed);
    const double vuMs = d.vuIntegrationMs.load(kRelaxed);
    const double ppmMs = d.ppmIntegrationMs.load(kRelaxed);
    const double returnMs = d.ppmReturnMs.load(kRelaxed);
    w.vuOnePole = vuOnePoleOf(vuMs, fs);
    for (int i = 0; i < 2; ++i) {
        const double meterRate = fs * (i + 1);  // fs, and 2 fs for "Pre" and "GainRed"
        w.ppmAttack[i] = ppmAttackOf(ppmMs, meterRate);
        w.ppmReturn[i] = ppmReturnOf(returnMs, meterRate);
    }
}

void TinyPress::updateEngine(int index) {
    std::lock_guard<std::mutex> lock(writerMutex);
    const DerivedValues& d = derivedValues;
    switch (index) {
        case kLowScf:
            lowShape = shelfShapeOnSet(ShelfBand::Low, d.lowFilterMode.load(kRelaxed));
            break;
        case kHighScf:
            highShape = shelfShapeOnSet(ShelfBand::High, d.highFilterMode.load(kRelaxed));
            break;
        case kLowCorner:
            lowShape.cornerHz = d.lowCornerHz.load(kRelaxed);
            break;
        case kHighCorner:
            highShape.cornerHz = d.highCornerHz.load(kRelaxed);
            break;
        case kVuIntegration:
            ++writerSettings.vuResets;  // re-tuned VU filters start from rest
            break;
        default:
            break;
    }
    publishLocked(index == kReset ? Reset::Path : Reset::None);
}

void TinyPress::publishWithReset(Reset reset, bool resumeShapes) {
    std::lock_guard<std::mutex> lock(writerMutex);
    const DerivedValues& d = derivedValues;
    if (resumeShapes) {
        lowShape = shelfShapeOnResume(ShelfBand::Low, d.lowFilterMode.load(kRelaxed));
        highShape = shelfShapeOnResume(ShelfBand::High, d.highFilterMode.load(kRelaxed));
    }
    publishLocked(reset);
}

void TinyPress::publishLocked(Reset reset) {
    rebuildSettings();
    if (reset != Reset::None) {
        ++(reset == Reset::Full ? writerSettings.fullResets : writerSettings.pathResets);
        // The shelves snap to the design in force now; a later change glides from there.
        writerSettings.lowShelfAtReset = writerSettings.lowShelf;
        writerSettings.highShelfAtReset = writerSettings.highShelf;
    }
    exchange.publish(writerSettings);
}

void TinyPress::setParameter(VstInt32 index, float value) {
    if (index < 0 || !family::sanitizeParameterValue(value)) return;
    if (index == kPresetFlagOn || index == kPresetFlagOff) {
        presetFlagState.store(index == kPresetFlagOn, kRelaxed);
    } else if (index < kNumParams && index != kNoParam) {
        applyParameter(index, value);
        value = params[index].load(kRelaxed);  // the over indicator stores its rounded step
        if (index < kNumHostParams) recordParameter(index, value);
    }
    if (CEditorNotices* e = editorNotices()) e->setParameter(index, value);
}

void TinyPress::applyParameter(int index, float value) {
    if (!family::sanitizeParameterValue(value)) return;
    if (index == kOverIndicator) value = static_cast<float>(overCountOf(value)) / 9.0f;
    params[index].store(value, kRelaxed);
    applyDerived(index, value);
    updateEngine(index);
}

void TinyPress::updateRatioDependents() {
    DerivedValues& d = derivedValues;
    const double inverse = d.inverseRatio.load(kRelaxed);
    d.autoMakeupGain.store(autoMakeupGainOf(d.thresholdGain.load(kRelaxed), inverse), kRelaxed);
}

void TinyPress::applyDerived(int index, float v) {
    DerivedValues& d = derivedValues;
    switch (index) {
        case kPower:
            d.power.store(switchOf(v), kRelaxed);
            break;
        case kReset:
            resetSignalPath();
            break;
        case kSoft:
            d.softKnee.store(switchOf(v), kRelaxed);
            break;
        case kRms:
            d.rms.store(switchOf(v), kRelaxed);
            break;
        case kHiddenSwitch:
            d.hiddenSwitch.store(switchOf(v), kRelaxed);
            break;
        case kThreshold:
            d.thresholdGain.store(thresholdGainOf(v), kRelaxed);
            updateRatioDependents();
            break;
        case kRatio: {
            const int k = ratioStepOf(v);
            const double ratio = ratioOfStep(k);
            const double inverse = 1.0 / ratio;
            d.ratioStep.store(k, kRelaxed);
            d.ratio.store(ratio, kRelaxed);
            d.inverseRatio.store(inverse, kRelaxed);
            d.kneeLowY.store(kneeLowYOf(inverse), kRelaxed);
            d.kneeHighY.store(kneeHighYOf(inverse), kRelaxed);
            updateRatioDependents();
            break;
        }
        case kAttack:
            d.attackMs.store(attackMsOf(v), kRelaxed);
            break;
        case kRelease:
            d.releaseSeconds.store(releaseSecondsOf(v), kRelaxed);
            break;
        case kAutoRelease:
            d.autoRelease.store(switchOf(v), kRelaxed);
            break;
        case kLowScf:
            d.lowFilterMode.store(selectorOf(v), kRelaxed);
            break;
        case kLowCorner:
            d.lowCornerHz.store(lowCornerHzOf(v), kRelaxed);
            break;
        case kHighScf:
            d.highFilterMode.store(selectorOf(v), kRelaxed);
            break;
        case kHighCorner:
            d.highCornerHz.store(highCornerHzOf(v), kRelaxed);
            break;
        case kMakeup:
            d.makeupTargetGain.store(makeupGainOf(v), kRelaxed);
            break;
        case kAutoMakeup:
            d.autoMakeup.store(switchOf(v), kRelaxed);
            break;
        case kHidden18:
            d.hidden18.store(switchOf(v), kRelaxed);
            break;
        case kHidden19:
            d.hidden19.store(switchOf(v), kRelaxed);
            break;
        case kLink:
            d.link.store(switchOf(v), kRelaxed);
            break;
        case kMix:
            d.meterMix.store(v, kRelaxed);
            break;
        case kOutput:
            d.outputTargetGain.store(outputGainOf(v), kRelaxed);
            break;
        case kMeters:
            d.meterSource.store(selectorOf(v), kRelaxed);
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
        case kStereo:
            d.stereo.store(switchOf(v), kRelaxed);
            break;
        case kScMonitor:
            d.sideChainMonitor.store(switchOf(v), kRelaxed);
            break;
        case kVuIntegration: {
            const double ms = vuIntegrationMsOf(v);
            d.vuIntegrationMs.store(ms, kRelaxed);
            d.vuCornerHz.store(vuCornerHzOf(ms), kRelaxed);
            break;
        }
        case kVuReference: {
            const double reference = vuReferenceOf(v);
            d.vuReference.store(reference, kRelaxed);
            d.meterScale.store(1.0 / reference, kRelaxed);
            break;
        }
        case kPpmIntegration:
            d.ppmIntegrationMs.store(ppmIntegrationMsOf(v), kRelaxed);
            break;
        case kPpmReturn:
            d.ppmReturnMs.store(ppmReturnMsOf(v), kRelaxed);
            break;
        case kOverIndicator:
            d.overCount.store(overCountOf(v), kRelaxed);
            d.overSamples.store(overSamplesOf(v), kRelaxed);
            break;
        default:
            break;  // 7, 9, 21 and the spare slots only keep their value
    }
}

float TinyPress::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams || index == kNoParam) return 0.0f;
    return params[index].load(kRelaxed);
}

void TinyPress::getParameterDisplay(VstInt32 index, char* text) {
    formatParamDisplay(index, getParameter(index), text);
}

void TinyPress::getParameterName(VstInt32 index, char* text) {
    std::strcpy(text, paramSpec(index).name);
}

bool TinyPress::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
    return p && fillParamProperties(index, p);
}

bool TinyPress::getEffectName(char* name) {
    std::strcpy(name, "QRX TinyPress");
    return true;
}

bool TinyPress::getProductString(char* text) {
    std::strcpy(text, "QRX TinyPress - stereo mastering compressor");
    return true;
}

float TinyPress::getDisplayValue(VstInt32 index) {
    return editorValueOf(index, getParameter(index));
}

}  // namespace tinypress
