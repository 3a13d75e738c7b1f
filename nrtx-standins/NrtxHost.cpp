#include "nrtx-standins/NrtxHost.h"

#include <algorithm>

namespace nrtx_host {

std::unique_ptr<Engine> Engine::load(const std::string& path, std::string* error) {
    auto library = platform::DynamicLibrary::load(path, error);
    return library ? std::unique_ptr<Engine>(new Engine(std::move(library))) : nullptr;
}

Engine::~Engine() = default;

void Engine::configure(const MotorSettings& settings) {
    if (auto f = reinterpret_cast<MotorConfigureProc>(library_->symbol("MotorConfigure")))
        f(&settings);
}

MotorSettings Engine::settings() const {
    MotorSettings s{};
    if (auto f = reinterpret_cast<MotorGetSettingsProc>(library_->symbol("MotorGetSettings")))
        f(&s);
    return s;
}

std::pair<nrtx::PlugInProc, nrtx::PlugInProc> Engine::registeredProcs() const {
    nrtx::PlugInProc open = nullptr, close = nullptr;
    if (auto f =
            reinterpret_cast<MotorRegisteredProcsProc>(library_->symbol("MotorRegisteredProcs")))
        f(&open, &close);
    return {open, close};
}

std::unique_ptr<PlugInLibrary> PlugInLibrary::load(const std::string& path, std::string* error,
                                                   std::int32_t* code) {
    auto library = platform::DynamicLibrary::load(path, error);
    if (!library) return nullptr;
    auto open = reinterpret_cast<nrtx::WinPlugInOpenProc>(library->symbol("WinPlugInOpen"));
    auto newPlugIn = reinterpret_cast<nrtx::NewPlugInProc>(library->symbol("NewPlugIn"));
    auto routines =
        reinterpret_cast<nrtx::RoutineDescriptorProc>(library->symbol("_PI_GetRoutineDescriptor"));
    if (!open || !newPlugIn || !routines) {
        if (error) *error = "not an NRTX plug-in library: " + path;
        return nullptr;
    }
    std::int32_t result = open(nrtx::kPlugInOpenCode);
    if (result == 0) result = newPlugIn();
    auto* group = result == 0 ? static_cast<nrtx::Group*>(routines(0)) : nullptr;
    if (group == nullptr) {
        if (error) *error = "NewPlugIn failed with " + std::to_string(result);
        if (code) *code = result;
        if (auto close =
                reinterpret_cast<nrtx::WinPlugInCloseProc>(library->symbol("WinPlugInClose")))
            close();
        return nullptr;
    }
    return std::unique_ptr<PlugInLibrary>(new PlugInLibrary(std::move(library), group));
}

PlugInLibrary::~PlugInLibrary() {
    if (auto close = reinterpret_cast<nrtx::WinPlugInCloseProc>(symbol("WinPlugInClose"))) close();
}

void* PlugInLibrary::symbol(const char* name) const {
    return library_->symbol(name);
}

int PlugInLibrary::findType(std::uint32_t typeId) {
    nrtx::TypeInfo info{};
    for (int i = 0; i < group_->typeCount(); ++i)
        if (group_->typeInfo(i, &info) && info.typeId == typeId) return i;
    return -1;
}

std::unique_ptr<Instance> Instance::create(PlugInLibrary& library, std::uint32_t typeId) {
    const int index = library.findType(typeId);
    if (index < 0) return nullptr;
    nrtx::TypeInfo info{};
    library.group().typeInfo(index, &info);
    nrtx::Instance* raw = library.group().newInstance(index);
    if (raw == nullptr) return nullptr;
    std::unique_ptr<Instance> instance(new Instance(raw, info));
    raw->setListener(instance.get());
    return instance;
}

Instance::~Instance() {
    instance_->setListener(nullptr);
    instance_->release();
}

int Instance::controlCount() {
    return instance_->controlCount();
}

std::string Instance::controlName(int index) {
    char text[512] = {};
    instance_->controlName(index, text, sizeof text);
    return text;
}

std::string Instance::controlFirstLine(int index) {
    const std::string name = controlName(index);
    return name.substr(0, name.find('\n'));
}

bool Instance::isOnOff(int index) {
    return instance_->controlKind(index) == nrtx::ControlKind::OnOff;
}

std::int32_t Instance::value(int index) {
    return instance_->controlValue(index);
}

std::string Instance::text(int index, int maxLength) {
    return textOf(index, value(index), maxLength);
}

std::string Instance::textOf(int index, std::int32_t value, int maxLength) {
    std::vector<char> text(static_cast<size_t>(std::max(maxLength, 0)) + 1, '\0');
    instance_->controlText(index, value, text.data(), maxLength);
    return text.data();
}

void Instance::set(int index, std::int32_t value) {
    instance_->setControlValue(index, value);
}

void Instance::setUnit(int index, double unit) {
    const double clamped = std::clamp(unit, 0.0, 1.0);
    const double offset = clamped * 4294967295.0;
    set(index, static_cast<std::int32_t>(static_cast<std::int64_t>(offset + 0.5) + INT32_MIN));
}

std::vector<unsigned char> Instance::saveChunk(std::uint32_t id) {
    const std::int32_t size = instance_->chunkSize(id);
    if (size <= 0) return {};
    std::vector<unsigned char> record(static_cast<size_t>(size));
    const std::int32_t written = instance_->getChunk(id, record.data(), size);
    record.resize(static_cast<size_t>(std::max(written, 0)));
    return record;
}

bool Instance::restoreChunk(const std::vector<unsigned char>& record) {
    return instance_->setChunk(record.data(), static_cast<std::int32_t>(record.size()));
}

std::pair<int, int> Instance::render(const float* const* inputs, float* const* outputs,
                                     const float* key, int frames) {
    nrtx::RenderBlock block{};
    block.inputs[0] = inputs[0];
    block.inputs[1] = mainChannels() == 2 ? inputs[1] : nullptr;
    block.outputs[0] = outputs[0];
    block.outputs[1] = mainChannels() == 2 ? outputs[1] : nullptr;
    block.keyInput = key;
    block.frames = frames;
    instance_->render(&block);
    return {block.consumed, block.written};
}

Audio renderRealTime(Instance& instance, const Audio& input, const std::vector<int>& bufferLengths,
                     const std::vector<int>& bypassToggles, const std::vector<float>* key) {
    const int channels = instance.mainChannels();
    const int total = input.empty() ? 0 : static_cast<int>(input[0].size());
    Audio output(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(total)));
    size_t toggle = 0, cycle = 0;
    bool bypass = instance.bypassed();
    for (int pos = 0; pos < total;) {
        int frames = bufferLengths.empty() ? 512 : bufferLengths[cycle++ % bufferLengths.size()];
        frames = std::clamp(frames, 1, total - pos);
        // The bypass changes between host buffers: a buffer ends where the next toggle is.
        while (toggle < bypassToggles.size() && bypassToggles[toggle] <= pos) {
            bypass = !bypass;
            instance.setBypass(bypass);
            ++toggle;
        }
        if (toggle < bypassToggles.size()) frames = std::min(frames, bypassToggles[toggle] - pos);
        const float* in[2] = {input[0].data() + pos, input[input.size() > 1 ? 1 : 0].data() + pos};
        float* out[2] = {output[0].data() + pos,
                         output[static_cast<size_t>(channels - 1)].data() + pos};
        instance.render(in, out, key ? key->data() + pos : nullptr, frames);
        pos += frames;
    }
    return output;
}

Audio renderOffline(Instance& instance, const Audio& input, int blockLength,
                    const std::vector<float>* key) {
    const int channels = instance.mainChannels();
    const int total = input.empty() ? 0 : static_cast<int>(input[0].size());
    Audio output(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(total)));
    blockLength = std::max(blockLength, 1);
    std::vector<float> silence(static_cast<size_t>(blockLength), 0.0f);
    std::vector<float> scratchL(static_cast<size_t>(blockLength)), scratchR(scratchL.size());
    int read = 0, written = 0, idleRounds = 0;
    while (written < total && idleRounds < 1000) {
        const int frames = read < total ? std::min(blockLength, total - read) : blockLength;
        const bool fromInput = read < total;
        const float* in[2] = {
            fromInput ? input[0].data() + read : silence.data(),
            fromInput ? input[input.size() > 1 ? 1 : 0].data() + read : silence.data()};
        const float* k = key && fromInput ? key->data() + read : (key ? silence.data() : nullptr);
        float* out[2] = {scratchL.data(), scratchR.data()};
        const auto [consumed, produced] = instance.render(in, out, k, frames);
        read += consumed;
        const int keep = std::min(produced, total - written);
        for (int c = 0; c < channels; ++c)
            std::copy_n(c == 0 ? scratchL.data() : scratchR.data(), keep,
                        output[static_cast<size_t>(c)].data() + written);
        written += keep;
        idleRounds = consumed == 0 && produced == 0 ? idleRounds + 1 : 0;
    }
    return output;
}

}  // namespace nrtx_host
