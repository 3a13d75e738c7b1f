#include "tinypress/TinyPress.h"

#include <cmath>
#include <cstring>
#include <new>

#include "dsp/GlidingBiquad.h"
#include "editor/MeterSettingsStore.h"
#include "platform/MessageBox.h"
#include "shell/FamilyIdentity.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/Mappings.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

// Meter settings found out of range in the store are replaced by these (indices 36..40).
constexpr float kMeterSettingDefaults[] = {0.5f, 0.5f, 0.52f, 0.72365f, 0.25f};

constexpr VstInt32 kDefaultBlockSize = 1024;

void showOutOfMemory() {
    platform::showMessageBox(u"Not enough memory", u"Cannot create QRX TinyPress");
}

}  // namespace

TinyPress::TinyPress(audioMasterCallback audioMaster, EditorFactory editorFactory)
    : CompressorEffect(audioMaster, kFactoryPrograms) {
    for (auto& p : params) p.store(0.0f, kRelaxed);
    for (auto& e : shelfModeEvents) e.store(0, kRelaxed);  // stamp 0: the construction shapes
    for (auto& e : shelfCornerEvents) e.store(0, kRelaxed);
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
    updateBlockSize();
    getOutputLatency();
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
    updateBlockSize();
    getOutputLatency();
    meters.reset();
    if (CEditorNotices* e = editorNotices()) e->resetMeters();
    rebuildRequests.fetch_add(1, std::memory_order_release);
    requestReset(fullResets);
}

void TinyPress::resume() {
    if (failed) {
        showOutOfMemory();
        return;
    }
    const double hostRate = getSampleRate();
    rate.store(processingRateOf(hostRate), kRelaxed);
    updateBlockSize();
    getOutputLatency();
    if (getBlockSize() < 1) AudioEffect::setBlockSize(kDefaultBlockSize);
    setHilbertLengthForRate();
    // Both shelves take their resume shapes, as one event.
    const std::uint32_t stamp = nextStamp();
    stampShelfMode(ShelfBand::Low, 2, selectorOf(params[kLowScf].load(kRelaxed)), stamp);
    stampShelfMode(ShelfBand::High, 2, selectorOf(params[kHighScf].load(kRelaxed)), stamp);
    rebuildRequests.fetch_add(1, std::memory_order_release);
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

void TinyPress::processReplacing(float** inputs, float** outputs, VstInt32 frames) noexcept {
    if (frames <= 0) return;
    if (failed || !path) {
        inertBlock(inputs, outputs, frames);
        return;
    }
    adoptChanges();
    qrx::dsp::InputFlags flags;
    flags.rightInput = secondInput.load(kRelaxed);
    flags.sideChainInputs = sideChainInputsUsable.load(kRelaxed);
    flags.externalSideChain = path->settings().sideChainExternal != 0;
    qrx::dsp::HostBuffers<float> io;
    qrx::dsp::selectInputs(
        inputs, flags, [this](int pin) { return isInputConnected(pin); }, io);
    qrx::dsp::selectOutputs(
        outputs, secondOutputUsable(), [this](int pin) { return isOutputConnected(pin); }, io);
    path->process(io, frames, meters, instructionSet());
}

void TinyPress::inertBlock(float** inputs, float** outputs, VstInt32 frames) noexcept {
    // The inert effect announced one input and one output: only those pointers exist.
    if (!outputs || !outputs[0]) return;
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    if (inputs && inputs[0])
        std::memmove(outputs[0], inputs[0], bytes);
    else
        std::memset(outputs[0], 0, bytes);
}

namespace {

constexpr std::uint32_t stampOf(std::uint64_t event) {
    return static_cast<std::uint32_t>(event >> 32);
}

// True when stamp a was taken after stamp b (the clock may wrap).
constexpr bool later(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) > 0;
}

// Stores `event` unless the word already holds a later one.
void storeLatest(std::atomic<std::uint64_t>& word, std::uint64_t event) {
    std::uint64_t seen = word.load(std::memory_order_relaxed);
    while (!later(stampOf(seen), stampOf(event)) &&
           !word.compare_exchange_weak(seen, event, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    }
}

ShelfShape shapeOf(ShelfBand band, std::uint64_t modeEvent, std::uint64_t cornerEvent) {
    const auto kind = static_cast<std::uint32_t>(modeEvent >> 8) & 0xffu;
    const int mode = static_cast<int>(modeEvent & 0xffu);
    ShelfShape shape = kind == 1   ? shelfShapeOnSet(band, mode)
                       : kind == 2 ? shelfShapeOnResume(band, mode)
                                   : shelfShapeAtConstruction(band);
    // A corner set after the shape's event moves its corner.
    if (stampOf(cornerEvent) != 0 && later(stampOf(cornerEvent), stampOf(modeEvent))) {
        float value;
        const auto bits = static_cast<std::uint32_t>(cornerEvent);
        std::memcpy(&value, &bits, sizeof value);
        shape.cornerHz = band == ShelfBand::Low ? lowCornerHzOf(value) : highCornerHzOf(value);
    }
    return shape;
}

}  // namespace

void TinyPress::stampShelfMode(ShelfBand band, std::uint32_t kind, int mode, std::uint32_t stamp) {
    const std::uint64_t event = std::uint64_t{stamp} << 32 | std::uint64_t{kind} << 8 |
                                static_cast<std::uint64_t>(mode & 0xff);
    storeLatest(shelfModeEvents[band == ShelfBand::Low ? 0 : 1], event);
}

void TinyPress::stampShelfCorner(ShelfBand band, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    storeLatest(shelfCornerEvents[band == ShelfBand::Low ? 0 : 1],
                std::uint64_t{nextStamp()} << 32 | bits);
}

void TinyPress::setHilbertLengthForRate() {
    hilbertLength.store(hilbertLengthOf(rate.load(kRelaxed)), kRelaxed);
}

TinyPress::ShelfEvents TinyPress::shelfEvents() const {
    ShelfEvents e;
    for (int b = 0; b < 2; ++b) {
        e.mode[b] = shelfModeEvents[b].load(std::memory_order_acquire);
        e.corner[b] = shelfCornerEvents[b].load(std::memory_order_acquire);
    }
    return e;
}

void TinyPress::designShelvesOf(EngineSettings& s, const ShelfEvents& e) {
    designShelves(s, shapeOf(ShelfBand::Low, e.mode[0], e.corner[0]),
                  shapeOf(ShelfBand::High, e.mode[1], e.corner[1]));
}

void TinyPress::requestReset(std::atomic<std::uint32_t>& counter) {
    // The shelves snap to the design in force now, and the make-up and output gains start from
    // their targets now; a later change glides from there.
    EngineSettings s;
    s.rateHz = rate.load(kRelaxed);
    designShelvesOf(s, shelfEvents());
    stateAtReset.publish({s.lowShelf, s.highShelf, makeupGainOf(params[kMakeup].load(kRelaxed)),
                          outputGainOf(params[kOutput].load(kRelaxed))});
    counter.fetch_add(1, std::memory_order_release);
}

EngineSettings TinyPress::settingsNow() const {
    float p[kNumParams];
    for (int i = 0; i < kNumParams; ++i) p[i] = params[i].load(kRelaxed);
    EngineSettings s;
    applyAll(s, p, rate.load(kRelaxed));
    designShelvesOf(s, shelfEvents());
    const int taps = hilbertLength.load(kRelaxed);
    s.hilbertLength = taps < 1 ? 1 : (taps > kMaxHilbertLength ? kMaxHilbertLength : taps);
    s.fullResets = fullResets.load(std::memory_order_acquire);
    s.pathResets = pathResets.load(std::memory_order_acquire);
    s.vuResets = vuResets.load(std::memory_order_acquire);
    ResetState atReset;
    if (stateAtReset.tryRead(atReset)) {
        s.lowShelfAtReset = atReset.low;
        s.highShelfAtReset = atReset.high;
        s.makeupAtReset = atReset.makeup;
        s.outputAtReset = atReset.output;
    }
    return s;
}

void TinyPress::adoptChanges() noexcept {
    const std::uint32_t rebuild = rebuildRequests.load(std::memory_order_acquire);
    const std::uint32_t full = fullResets.load(std::memory_order_acquire);
    const std::uint32_t pathReset = pathResets.load(std::memory_order_acquire);
    const std::uint32_t vuReset = vuResets.load(std::memory_order_acquire);
    const ShelfEvents shelves = shelfEvents();
    const std::uint64_t changed = changedParameters.exchange(0, std::memory_order_acquire);
    int taps = hilbertLength.load(kRelaxed);
    taps = taps < 1 ? 1 : (taps > kMaxHilbertLength ? kMaxHilbertLength : taps);

    const EngineSettings& now = path->settings();
    const bool shelvesChanged =
        std::memcmp(&shelves, &adoptedShelves, sizeof shelves) != 0 || rebuild != rebuildsDone;
    const bool resetsChanged = full != now.fullResets || pathReset != now.pathResets;
    if (changed == 0 && !shelvesChanged && !resetsChanged && rebuild == rebuildsDone &&
        taps == now.hilbertLength && vuReset == now.vuResets)
        return;

    // Values are read after their bits were taken: a value newer than its bit is read again with
    // the next block, so the settings always belong to one set of values in `adopted`.
    EngineSettings next = now;
    for (int i = 0; i < kNumParams; ++i)
        if (changed & (std::uint64_t{1} << i)) adopted[i] = params[i].load(kRelaxed);
    if (rebuild != rebuildsDone) {
        rebuildsDone = rebuild;
        applyAll(next, adopted, rate.load(kRelaxed));
    } else {
        for (int i = 0; i < kNumParams; ++i)
            if (changed & (std::uint64_t{1} << i)) tinypress::applyParameter(next, i, adopted);
    }
    if (shelvesChanged) {
        adoptedShelves = shelves;
        designShelvesOf(next, shelves);
    }
    next.hilbertLength = taps;
    ResetState atReset;
    if (resetsChanged && stateAtReset.tryRead(atReset)) {  // else again with the next block
        next.fullResets = full;
        next.pathResets = pathReset;
        next.lowShelfAtReset = atReset.low;
        next.highShelfAtReset = atReset.high;
        next.makeupAtReset = atReset.makeup;
        next.outputAtReset = atReset.output;
    }
    next.vuResets = vuReset;
    path->adopt(next);
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
    // The events whose order matters, stamped before the bit tells the audio thread.
    switch (index) {
        case kReset:
            setHilbertLengthForRate();
            requestReset(pathResets);
            break;
        case kLowScf:
            stampShelfMode(ShelfBand::Low, 1, selectorOf(value), nextStamp());
            break;
        case kHighScf:
            stampShelfMode(ShelfBand::High, 1, selectorOf(value), nextStamp());
            break;
        case kLowCorner:
            stampShelfCorner(ShelfBand::Low, value);
            break;
        case kHighCorner:
            stampShelfCorner(ShelfBand::High, value);
            break;
        case kVuIntegration:
            vuResets.fetch_add(1, std::memory_order_release);  // re-tuned VU filters start at rest
            break;
        default:
            break;
    }
    changedParameters.fetch_or(std::uint64_t{1} << index, std::memory_order_release);
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

float TinyPress::normalisedOfDisplayValue(VstInt32 index, double value) {
    return normalisedOfEditorValue(index, value);
}

}  // namespace tinypress
