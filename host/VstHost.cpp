#include "host/VstHost.h"

#include <algorithm>
#include <cstring>

#include "platform/DynamicLibrary.h"

namespace host {
namespace {

// The host whose entry call is running on this thread. During the entry the plug-in has no
// AEffect to pass (or passes one whose resvd1 the host has not filled yet), so the callback finds
// its host here. Saved and restored so a load nested inside a callback cannot lose the outer one.
thread_local Plugin* t_loading = nullptr;

class LoadingScope {
  public:
    explicit LoadingScope(Plugin* plugin) : previous_(t_loading) { t_loading = plugin; }
    ~LoadingScope() { t_loading = previous_; }
    LoadingScope(const LoadingScope&) = delete;
    LoadingScope& operator=(const LoadingScope&) = delete;

  private:
    Plugin* previous_;
};

constexpr std::size_t kStringBytes = 256;  // generous: plug-ins are meant to write at most 64
constexpr std::size_t kReservedRequests = 4096;

void setError(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
}

VstInt32 arrangementFor(int channels) {
    if (channels == 1) return kSpeakerArrMono;
    if (channels == 2) return kSpeakerArrStereo;
    return channels <= 0 ? kSpeakerArrEmpty : kSpeakerArrUserDefined;
}

void fillArrangement(VstSpeakerArrangement& arrangement, int channels) {
    std::memset(&arrangement, 0, sizeof arrangement);
    arrangement.type = arrangementFor(channels);
    arrangement.numChannels = std::max(channels, 0);
    const int described = std::min(arrangement.numChannels, 8);
    for (int i = 0; i < described; ++i) {
        VstSpeakerProperties& speaker = arrangement.speakers[i];
        // Speaker type 1/2 are left/right in the published tables; 0 is mono/unknown.
        speaker.type = channels == 2 ? i + 1 : 0;
        speaker.name[0] = static_cast<char>('1' + i);
    }
}

}  // namespace

Plugin::Plugin(const HostConfig& config) : config_(config) {
    // Reserving up front keeps push_back from allocating in the common case when a plug-in calls
    // back from a test's audio thread.
    requests_.reserve(kReservedRequests);
}

Plugin::~Plugin() {
    if (effect_ != nullptr) {
        if (resumed_) suspend();
        close();
    }
    library_.reset();  // only after the effect is gone: its code lives in the library
}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, const HostConfig& config,
                                     std::string* error) {
    std::string loaderError;
    auto library = platform::DynamicLibrary::load(path, &loaderError);
    if (!library) {
        setError(error, "cannot load " + path + ": " + loaderError);
        return nullptr;
    }
    void* symbol = library->symbol("VSTPluginMain");
    if (symbol == nullptr) symbol = library->symbol("main");
    if (symbol == nullptr) {
        setError(error, path + " exports neither VSTPluginMain nor main");
        return nullptr;
    }
    std::unique_ptr<Plugin> plugin(new Plugin(config));
    plugin->library_ = std::move(library);
    return start(std::move(plugin), reinterpret_cast<EntryProc>(symbol), error);
}

std::unique_ptr<Plugin> Plugin::fromEntry(EntryProc entry, const HostConfig& config,
                                          std::string* error) {
    if (entry == nullptr) {
        setError(error, "no entry function");
        return nullptr;
    }
    return start(std::unique_ptr<Plugin>(new Plugin(config)), entry, error);
}

std::unique_ptr<Plugin> Plugin::start(std::unique_ptr<Plugin> plugin, EntryProc entry,
                                      std::string* error) {
    AEffect* effect = nullptr;
    {
        LoadingScope scope(plugin.get());
        try {
            effect = entry(&Plugin::hostCallback);
        } catch (...) {
            setError(error, "the entry function threw");
            return nullptr;
        }
    }
    if (effect == nullptr) {
        setError(error, "the entry function returned no effect");
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        // Not an effect record: nothing in it can be trusted, so it is neither used nor closed.
        setError(error, "the entry function returned a record without the effect magic");
        return nullptr;
    }
    // From here on the callback finds this host through the record, on any thread.
    effect->resvd1 = reinterpret_cast<VstIntPtr>(plugin.get());
    plugin->effect_ = effect;

    if (plugin->config_.openOnLoad) {
        plugin->dispatch(effOpen);
        plugin->setSampleRate(static_cast<float>(plugin->config_.sampleRateAnswer));
        plugin->setBlockSize(static_cast<int>(plugin->config_.blockSizeAnswer));
    }
    if (error != nullptr) error->clear();
    return plugin;
}

VstIntPtr Plugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt) {
    Plugin* host = nullptr;
    if (effect != nullptr && effect->resvd1 != 0)
        host = reinterpret_cast<Plugin*>(effect->resvd1);
    else
        host = t_loading;
    // A call no host can be found for (another thread during the entry): only the version,
    // which does not depend on the host's configuration, gets an answer.
    if (host == nullptr) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(effect, opcode, index, value, ptr, opt);
}

VstIntPtr Plugin::answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float opt) {
    HostRequest request;
    request.opcode = opcode;
    request.index = index;
    request.value = value;
    request.opt = opt;
    request.withEffect = effect != nullptr;

    VstIntPtr result = 0;
    switch (opcode) {
        case audioMasterVersion:
            result = config_.versionAnswer;
            break;
        case audioMasterGetBlockSize:
            result = config_.blockSizeAnswer;
            break;
        case audioMasterGetSampleRate:
            result = config_.sampleRateAnswer;
            break;
        case audioMasterGetOutputLatency:
            result = config_.outputLatencyAnswer;
            break;
        case audioMasterPinConnected:
            result = config_.pinConnected ? config_.pinConnected(index, value != 0) : 0;
            break;
        case audioMasterUpdateDisplay:
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
            result = 1;
            break;
        case audioMasterCanDo:
            if (ptr != nullptr) {
                const char* text = static_cast<const char*>(ptr);
                request.text.assign(text, strnlen(text, kStringBytes));
            }
            result = 0;
            break;
        default:
            // audioMasterAutomate and everything this host does not support: recorded, answer 0.
            result = 0;
            break;
    }
    request.answer = result;

    // A mutex on a path the plug-in's audio thread may take: acceptable only because this is a
    // test host; a real-time host would use a lock-free queue here.
    std::lock_guard<std::mutex> lock(requestsMutex_);
    requests_.push_back(std::move(request));
    return result;
}

std::vector<HostRequest> Plugin::requests() const {
    std::lock_guard<std::mutex> lock(requestsMutex_);
    return requests_;
}

void Plugin::clearRequests() {
    std::lock_guard<std::mutex> lock(requestsMutex_);
    requests_.clear();
}

int Plugin::count(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(requestsMutex_);
    return static_cast<int>(
        std::count_if(requests_.begin(), requests_.end(),
                      [&](const HostRequest& r) { return r.opcode == opcode; }));
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (effect_ == nullptr || effect_->dispatcher == nullptr) return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::setParameter(VstInt32 index, float value) {
    if (effect_ != nullptr && effect_->setParameter != nullptr)
        effect_->setParameter(effect_, index, value);
}

float Plugin::getParameter(VstInt32 index) {
    if (effect_ == nullptr || effect_->getParameter == nullptr) return 0.0f;
    return effect_->getParameter(effect_, index);
}

std::string Plugin::getString(VstInt32 opcode, VstInt32 index) {
    char buffer[kStringBytes] = {};
    dispatch(opcode, index, 0, buffer, 0.0f);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::string Plugin::parameterName(VstInt32 index) {
    return getString(effGetParamName, index);
}
std::string Plugin::parameterDisplay(VstInt32 index) {
    return getString(effGetParamDisplay, index);
}
std::string Plugin::parameterLabel(VstInt32 index) {
    return getString(effGetParamLabel, index);
}
std::string Plugin::programName() {
    return getString(effGetProgramName, 0);
}
std::string Plugin::effectName() {
    return getString(effGetEffectName, 0);
}
std::string Plugin::vendorString() {
    return getString(effGetVendorString, 0);
}
std::string Plugin::productString() {
    return getString(effGetProductString, 0);
}

bool Plugin::programNameIndexed(VstInt32 index, std::string& name) {
    char buffer[kStringBytes] = {};
    // value is the program category; -1 asks without one.
    const bool answered = dispatch(effGetProgramNameIndexed, index, -1, buffer, 0.0f) != 0;
    name.assign(buffer, strnlen(buffer, sizeof buffer));
    return answered;
}

VstInt32 Plugin::vendorVersion() {
    return static_cast<VstInt32>(dispatch(effGetVendorVersion));
}
VstInt32 Plugin::category() {
    return static_cast<VstInt32>(dispatch(effGetPlugCategory));
}

bool Plugin::inputProperties(VstInt32 index, VstPinProperties& properties) {
    std::memset(&properties, 0, sizeof properties);
    return dispatch(effGetInputProperties, index, 0, &properties) != 0;
}

bool Plugin::outputProperties(VstInt32 index, VstPinProperties& properties) {
    std::memset(&properties, 0, sizeof properties);
    return dispatch(effGetOutputProperties, index, 0, &properties) != 0;
}

bool Plugin::parameterProperties(VstInt32 index, VstParameterProperties& properties) {
    std::memset(&properties, 0, sizeof properties);
    return dispatch(effGetParameterProperties, index, 0, &properties) != 0;
}

bool Plugin::setSpeakerArrangement(int inputs, int outputs) {
    VstSpeakerArrangement input;
    VstSpeakerArrangement output;
    fillArrangement(input, inputs);
    fillArrangement(output, outputs);
    return dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output) != 0;
}

bool Plugin::getChunk(std::vector<std::uint8_t>& data, bool isPreset) {
    data.clear();
    void* block = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &block);
    if (size <= 0 || block == nullptr) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    data.assign(bytes, bytes + size);
    return true;
}

VstIntPtr Plugin::setChunk(const std::vector<std::uint8_t>& data, bool isPreset) {
    // The dispatcher takes a non-const pointer; the plug-in gets a copy it may not keep.
    std::vector<std::uint8_t> copy(data);
    return dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(copy.size()),
                    copy.empty() ? nullptr : copy.data());
}

void Plugin::setSampleRate(float rate) {
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}
void Plugin::setBlockSize(int size) {
    dispatch(effSetBlockSize, 0, size);
}

void Plugin::resume() {
    if (effect_ == nullptr) return;
    dispatch(effMainsChanged, 0, 1);
    resumed_ = true;
}

void Plugin::suspend() {
    if (effect_ == nullptr) return;
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

bool Plugin::editRect(ERect& rect) {
    ERect* answer = nullptr;
    if (dispatch(effEditGetRect, 0, 0, &answer) == 0 || answer == nullptr) return false;
    rect = *answer;
    return true;
}

void Plugin::close() {
    if (effect_ == nullptr) return;
    AEffect* closing = effect_;
    if (closing->dispatcher == nullptr) {
        effect_ = nullptr;
        return;
    }
    // Cleared first: after effClose the record belongs to freed memory, and nothing in this host
    // may reach it again, not even a helper called from a callback during the close.
    effect_ = nullptr;
    resumed_ = false;
    closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
}

bool Plugin::processReplacing(float** inputs, float** outputs, int frames) {
    if (effect_ == nullptr || effect_->processReplacing == nullptr ||
        (effect_->flags & effFlagsCanReplacing) == 0)
        return false;
    effect_->processReplacing(effect_, inputs, outputs, frames);
    return true;
}

bool Plugin::processDoubleReplacing(double** inputs, double** outputs, int frames) {
    if (effect_ == nullptr || effect_->processDoubleReplacing == nullptr ||
        (effect_->flags & effFlagsCanDoubleReplacing) == 0)
        return false;
    effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
    return true;
}

}  // namespace host
