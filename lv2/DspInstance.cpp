#include "lv2/DspInstance.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "presets/PresetImage.h"

namespace qrxlv2 {
namespace {

// Slices of one engine call: a multiple of the engines' 64-frame chunks, so a long run is cut
// exactly where one call would cut it.
constexpr std::uint32_t kSliceFrames = 8192;
constexpr int kMeterSettingsCount = 5;  // indices 36..40
constexpr int kFirstMeterSetting = 36;

// What the effect asks its host. Called from whatever thread the effect runs on (the audio
// thread too): answers constants only. Every other request answers 0, which for
// audioMasterPinConnected means connected: absent side-chain buffers are null pointers instead.
VstIntPtr effectHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

// The host's longest run, when it says (options), else 0.
int maxBlockLength(const LV2_Feature* const* features, const LV2_URID_Map* map) {
    const auto* options =
        static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    if (!options || !map) return 0;
    const LV2_URID maxBlock = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key; ++o)
        if (o->key == maxBlock && o->type == atomInt && o->value)
            return *static_cast<const std::int32_t*>(o->value);
    return 0;
}

}  // namespace

DspInstance* DspInstance::create(const Engine& engine, double sampleRate,
                                 const LV2_Feature* const* features) {
    std::unique_ptr<DspInstance> instance(new (std::nothrow) DspInstance(engine, sampleRate));
    if (!instance || !instance->effect || instance->effect->constructionFailed()) return nullptr;
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    instance->mapUris(map);
    const int block = maxBlockLength(features, map);
    instance->effect->dispatcher(effSetBlockSize, 0, block > 0 ? block : 1024, nullptr, 0.0f);
    return instance.release();
}

DspInstance::DspInstance(const Engine& engine, double sampleRate)
    : engine(engine), ports(engine), effect(engine.create(effectHost, nullptr)) {
    for (float& v : lastPortValue) v = NAN;
    if (!effect) return;
    // As a VST host starts an effect: open, then the rate.
    effect->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    latency = effect->getLatencySamples();
    link.uniqueId = engine.uniqueId;
    link.sampleRate = sampleRate;
    link.meterFeed = &effect->meterFeed();
    link.published = &published;
    link.fromUi = &fromUi;
    publish();
}

DspInstance::~DspInstance() {
    if (effect) effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);
}

void DspInstance::mapUris(const LV2_URID_Map* map) {
    if (!map) return;
    const auto uri = [map](const char* suffix) {
        return map->map(map->handle, (std::string(kProjectUri) + suffix).c_str());
    };
    uris.chunk = uri(kChunkKey);
    uris.program = uri(kProgramKey);
    uris.meterSettings = uri(kMeterSettingsKey);
    uris.atomChunk = map->map(map->handle, LV2_ATOM__Chunk);
    uris.atomVector = map->map(map->handle, LV2_ATOM__Vector);
    uris.atomFloat = map->map(map->handle, LV2_ATOM__Float);
}

void DspInstance::connect(std::uint32_t port, void* data) noexcept {
    auto* f = static_cast<float*>(data);
    if (port <= kOutRight) {
        audio[port] = f;
    } else if (port == kLatencyPort) {
        latencyPort = f;
    } else if (port == kGainLeft || port == kGainRight) {
        gainPorts[port - kGainLeft] = f;
    } else if (const int index = ports.parameterOf(port); index >= 0) {
        controls[port - kFirstControlPort] = f;
    }
}

void DspInstance::activate() {
    effect->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    latency = effect->getLatencySamples();
}

void DspInstance::deactivate() {
    effect->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
}

void DspInstance::run(std::uint32_t frames) noexcept {
    takeOverFromUi();
    applyPorts();
    process(frames);
    writeOutputPorts();
}

void DspInstance::takeOverFromUi() noexcept {
    const std::uint32_t generation = fromUi.generation();
    if (generation == takenFromUi) return;
    std::uint32_t seen = 0;
    if (!fromUi.tryRead(runImage.words, &seen)) return;  // being written: the next block
    takenFromUi = seen;
    if (takeOverImage(*effect, ports, runImage)) published.write(runImage.words);
}

void DspInstance::applyPorts() noexcept {
    for (int k = 0; k < ports.controlCount(); ++k) {
        if (!controls[k]) continue;
        const float x = *controls[k];
        if (x == lastPortValue[k]) continue;
        lastPortValue[k] = x;
        if (!std::isfinite(x)) continue;
        const int index = ports.parameterAt(k);
        // A port value that already stands for the engine's value changes nothing.
        if (x == ports.portValue(index, effect->getParameter(index))) continue;
        effect->setParameter(index, ports.normalised(index, x));
    }
}

void DspInstance::process(std::uint32_t frames) noexcept {
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < kSliceFrames ? frames - done : kSliceFrames;
        const auto at = [&](float* buffer) { return buffer ? buffer + done : nullptr; };
        float* inputs[4] = {at(audio[kInLeft]), at(audio[kInRight]), at(audio[kSideLeft]),
                            at(audio[kSideRight])};
        float* outputs[2] = {at(audio[kOutLeft]), at(audio[kOutRight])};
        effect->processReplacing(inputs, outputs, static_cast<VstInt32>(n));
        done += n;
    }
}

void DspInstance::writeOutputPorts() noexcept {
    if (latencyPort) *latencyPort = static_cast<float>(latency);
    const MeterFeed& feed = effect->meterFeed();
    for (int c = 0; c < 2; ++c)
        if (gainPorts[c])
            *gainPorts[c] = gainPortDb(feed.channel[c].gain.load(std::memory_order_relaxed));
}

bool DspInstance::readPublished() {
    // A write of the audio thread (taking over the UI's image) may overlap a copy: copy again.
    for (int attempt = 0; attempt < 1000; ++attempt)
        if (published.tryRead(stateImage.words)) return true;
    return false;
}

void DspInstance::publish() {
    captureImage(*effect, stateImage);
    published.write(stateImage.words);
}

LV2_State_Status DspInstance::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (!uris.chunk) return LV2_STATE_ERR_NO_FEATURE;
    // The published image holds the names; the values are the store's as they are now.
    if (!readPublished()) return LV2_STATE_ERR_UNKNOWN;
    refreshValues(*effect, stateImage);
    const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    LV2_State_Status status = store(handle, uris.chunk, stateImage.chunk(),
                                    CPresetSystemEffect::kChunkSize, uris.atomChunk, flags);
    if (status != LV2_STATE_SUCCESS) return status;
    struct {
        LV2_Atom_Vector_Body body;
        float values[kMeterSettingsCount];
    } settings = {{sizeof(float), uris.atomFloat}, {}};
    for (int k = 0; k < kMeterSettingsCount; ++k)
        settings.values[k] = stateImage.engineOnly(kFirstMeterSetting + k);
    return store(handle, uris.meterSettings, &settings, sizeof settings, uris.atomVector, flags);
}

LV2_State_Status DspInstance::restore(LV2_State_Retrieve_Function retrieve,
                                      LV2_State_Handle handle) {
    if (!uris.chunk) return LV2_STATE_ERR_NO_FEATURE;
    LV2_State_Status status = LV2_STATE_SUCCESS;
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    if (const void* chunk = retrieve(handle, uris.chunk, &size, &type, &flags)) {
        if (type != uris.atomChunk || !restoreChunk(chunk, size)) status = LV2_STATE_ERR_BAD_TYPE;
    } else if (const void* program = retrieve(handle, uris.program, &size, &type, &flags)) {
        if (type != uris.atomChunk || !restoreProgram(program, size))
            status = LV2_STATE_ERR_BAD_TYPE;
    }
    if (const void* settings = retrieve(handle, uris.meterSettings, &size, &type, &flags))
        restoreMeterSettings(settings, size, type);
    if (readPublished()) {
        refreshValues(*effect, stateImage);
        published.write(stateImage.words);
    }
    // The port values standing now belong to the state before: only new ones count (lilv sets
    // the state's own port values next; they stand for the restored values and change nothing).
    for (int k = 0; k < ports.controlCount(); ++k)
        if (controls[k]) lastPortValue[k] = *controls[k];
    return status;
}

bool DspInstance::restoreChunk(const void* value, std::size_t size) {
    if (size != CPresetSystemEffect::kChunkSize) return false;
    std::memcpy(stateImage.chunk(), value, size);
    if (effect->setChunk(stateImage.chunk(), static_cast<VstInt32>(size), false) != 0) return false;
    // The names of the state are the truth from now on (setChunk reversed a foreign byte order
    // in its own copy: take the names from the program store).
    captureImage(*effect, stateImage);
    published.write(stateImage.words);
    return true;
}

bool DspInstance::restoreProgram(const void* value, std::size_t size) {
    ProgramStore* store = effect->programStore();
    if (size != kPresetImageSize || !store) return false;
    const auto* image = static_cast<const std::uint8_t*>(value);
    const ImageCheck check = checkImage(image, engine.uniqueId, kPresetImageType);
    if (check != ImageCheck::Native && check != ImageCheck::Reversed) return false;
    const ProgramRecord record = readImageRecord(image, 0, check == ImageCheck::Reversed);
    if (!recordValuesFinite(record)) return false;
    if (!readPublished()) return false;
    const int current = effect->getCurrentProgramIndex();
    store->setRecord(current, record);
    effect->selectProgram(current);
    stateImage.setName(current, record.name);
    published.write(stateImage.words);
    return true;
}

void DspInstance::restoreMeterSettings(const void* value, std::size_t size, std::uint32_t type) {
    const auto* body = static_cast<const LV2_Atom_Vector_Body*>(value);
    if (type != uris.atomVector || size < sizeof *body || body->child_type != uris.atomFloat ||
        body->child_size != sizeof(float))
        return;
    const auto* values = reinterpret_cast<const unsigned char*>(body + 1);
    const std::size_t count = (size - sizeof *body) / sizeof(float);
    for (std::size_t k = 0; k < count && k < kMeterSettingsCount; ++k) {
        float v;
        std::memcpy(&v, values + k * sizeof v, sizeof v);
        if (std::isfinite(v) && v >= 0.0f && v <= 1.0f)
            effect->setParameter(kFirstMeterSetting + static_cast<int>(k), v);
    }
}

}  // namespace qrxlv2
