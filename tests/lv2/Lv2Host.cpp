#include "Lv2Host.h"

#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "host/VstHost.h"

namespace lv2test {
namespace {

LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<UridMap*>(handle)->map(uri);
}

const char* unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    return static_cast<UridMap*>(handle)->unmap(urid);
}

}  // namespace

UridMap::UridMap() : mapData{this, mapUri}, unmapData{this, unmapUrid} {}

LV2_URID UridMap::map(const std::string& uri) {
    const auto found = ids.find(uri);
    if (found != ids.end()) return found->second;
    uris.push_back(uri);
    const auto id = static_cast<LV2_URID>(uris.size());
    ids[uri] = id;
    return id;
}

const char* UridMap::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

World::World() : world(lilv_world_new()) {
    // Only the bundles of this build: the installed ones (or a user's) never count here.
    for (const char* name : {"grandpress", "tinypress"}) {
        const std::string bundle =
            std::string("file://") + QRX_BUILD_DIR + "/lv2/qrx-" + name + ".lv2/";
        LilvNode* node = lilv_new_uri(world, bundle.c_str());
        lilv_world_load_bundle(world, node);
        lilv_node_free(node);
    }
}

World::~World() {
    lilv_world_free(world);
}

const LilvPlugin* World::plugin(const std::string& name) const {
    LilvNode* node = uri(kUriBase + name);
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    return p;
}

Instance::Instance(World& world, const std::string& name, double rate, bool withMap)
    : world(world), plug(world.plugin(name)) {
    if (!plug) return;
    LV2_Feature mapFeature = {LV2_URID__map, world.urids().mapFeature()};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    instance = lilv_plugin_instantiate(plug, rate, withMap ? features : nullptr);
    if (!instance) return;
    const std::uint32_t ports = lilv_plugin_get_num_ports(plug);
    controls.assign(ports, 0.0f);
    std::vector<float> defaults(ports, NAN);
    lilv_plugin_get_port_ranges_float(plug, nullptr, nullptr, defaults.data());
    LilvNode* controlClass = world.uri(LILV_URI_CONTROL_PORT);
    for (std::uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plug, i);
        if (!lilv_port_is_a(plug, port, controlClass)) continue;
        controls[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
        lilv_instance_connect_port(instance, i, &controls[i]);
    }
    lilv_node_free(controlClass);
}

Instance::~Instance() {
    if (!instance) return;
    if (active) lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
}

int Instance::portIndex(const std::string& symbol) const {
    LilvNode* s = lilv_new_string(world.lilv(), symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plug, s);
    lilv_node_free(s);
    return port ? static_cast<int>(lilv_port_get_index(plug, port)) : -1;
}

float& Instance::control(const std::string& symbol) {
    const int index = portIndex(symbol);
    if (index < 0) throw std::runtime_error("no port " + symbol);
    return controls[static_cast<std::size_t>(index)];
}

Stereo Instance::render(const Stereo& in, std::size_t tail, const std::vector<std::size_t>& blocks,
                        bool inPlace) {
    if (!active) {
        lilv_instance_activate(instance);
        active = true;
    }
    const std::size_t total = in.frames() + tail;
    Stereo input = in, out;
    input.left.resize(total, 0.0f);
    input.right.resize(total, 0.0f);
    out.left.assign(total, 0.0f);
    out.right.assign(total, 0.0f);
    sideChain.assign(*std::max_element(blocks.begin(), blocks.end()) + 1, 0.0f);
    if (inPlace) out = input;
    float* const sources[2] = {inPlace ? out.left.data() : input.left.data(),
                               inPlace ? out.right.data() : input.right.data()};
    std::size_t done = 0;
    for (std::size_t k = 0; done < total; ++k) {
        const std::size_t n = std::min(blocks[k % blocks.size()], total - done);
        lilv_instance_connect_port(instance, 0, sources[0] + done);
        lilv_instance_connect_port(instance, 1, sources[1] + done);
        lilv_instance_connect_port(instance, 2, sideChain.data());
        lilv_instance_connect_port(instance, 3, sideChain.data());
        lilv_instance_connect_port(instance, 4, out.left.data() + done);
        lilv_instance_connect_port(instance, 5, out.right.data() + done);
        lilv_instance_run(instance, static_cast<std::uint32_t>(n));
        done += n;
    }
    return out;
}

void Instance::restart() {
    if (active) lilv_instance_deactivate(instance);
    lilv_instance_activate(instance);
    active = true;
}

namespace {

void setPortValue(const char* symbol, void* user, const void* value, std::uint32_t size,
                  std::uint32_t type) {
    auto* self = static_cast<Instance*>(user);
    if (size == sizeof(float)) self->control(symbol) = *static_cast<const float*>(value);
}

struct PortQuery {
    Instance* instance;
    LV2_URID floatType;
};

const void* portValue(const char* symbol, void* user, std::uint32_t* size, std::uint32_t* type) {
    auto* query = static_cast<PortQuery*>(user);
    *size = sizeof(float);
    *type = query->floatType;
    return &query->instance->control(symbol);
}

}  // namespace

void Instance::restore(const LilvState* state) {
    lilv_state_restore(state, instance, setPortValue, this, 0, nullptr);
}

LilvState* Instance::snapshot() {
    PortQuery query = {this, world.urids().map(LV2_ATOM__Float)};
    return lilv_state_new_from_instance(plug, instance, world.urids().mapFeature(), nullptr,
                                        nullptr, nullptr, nullptr, portValue, &query, 0, nullptr);
}

namespace {

struct StateCall {
    UridMap* map;
    std::map<std::string, Instance::Property>* properties;
};

LV2_State_Status storeProperty(LV2_State_Handle handle, std::uint32_t key, const void* value,
                               std::size_t size, std::uint32_t type, std::uint32_t) {
    auto* call = static_cast<StateCall*>(handle);
    const auto* bytes = static_cast<const unsigned char*>(value);
    (*call->properties)[call->map->unmap(key)] = {call->map->unmap(type),
                                                  std::vector<unsigned char>(bytes, bytes + size)};
    return LV2_STATE_SUCCESS;
}

const void* retrieveProperty(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                             std::uint32_t* type, std::uint32_t* flags) {
    auto* call = static_cast<StateCall*>(handle);
    const auto found = call->properties->find(call->map->unmap(key));
    if (found == call->properties->end()) return nullptr;
    *size = found->second.value.size();
    *type = call->map->map(found->second.type);
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return found->second.value.data();
}

const LV2_State_Interface* stateInterface(LilvInstance* instance) {
    return static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_STATE__interface));
}

}  // namespace

int Instance::save(std::map<std::string, Property>& properties) {
    StateCall call = {&world.urids(), &properties};
    return stateInterface(instance)->save(handle(), storeProperty, &call, 0, nullptr);
}

int Instance::restore(const std::map<std::string, Property>& properties) {
    auto copy = properties;
    StateCall call = {&world.urids(), &copy};
    return stateInterface(instance)->restore(handle(), retrieveProperty, &call, 0, nullptr);
}

Stereo renderVst(host::Plugin& plugin, const Stereo& in, std::size_t tail) {
    const std::size_t total = in.frames() + tail;
    Stereo source = in, out;
    source.left.resize(total, 0.0f);
    source.right.resize(total, 0.0f);
    out.left.assign(total, 0.0f);
    out.right.assign(total, 0.0f);
    for (std::size_t done = 0; done < total; done += 512) {
        float* inputs[4] = {source.left.data() + done, source.right.data() + done,
                            source.left.data() + done, source.right.data() + done};
        float* outputs[2] = {out.left.data() + done, out.right.data() + done};
        plugin.processReplacing(inputs, outputs,
                                static_cast<int>(std::min<std::size_t>(512, total - done)));
    }
    return out;
}

Stereo bursts(std::size_t frames) {
    Stereo s;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i % 11025) / 44100.0;
        const double e = std::exp(-6.0 * t);
        const double phase = 2.0 * M_PI * static_cast<double>(i) / 44100.0;
        s.left.push_back(static_cast<float>(0.8 * e * std::sin(110.0 * phase)));
        s.right.push_back(static_cast<float>(0.7 * e * std::sin(165.0 * phase)));
    }
    return s;
}

Stereo readWav(const std::string& path) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Stereo s;
    if (!f) return s;
    std::vector<float> frames(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    for (sf_count_t i = 0; i < info.frames; ++i) {
        s.left.push_back(frames[i * info.channels]);
        s.right.push_back(frames[i * info.channels + info.channels - 1]);
    }
    return s;
}

Stereo demoSignal(const std::string& folder, double seconds) {
    const std::string path = folder + "/demo.wav";
    const std::string command = std::string(QRX_BUILD_DIR) + "/bin/qrx-demo-signal " + path + " " +
                                std::to_string(seconds) + " >/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return readWav(path);
}

}  // namespace lv2test
