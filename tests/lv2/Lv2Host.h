// A small LV2 host for the tests, on lilv: both bundles of the build folder loaded (and nothing
// else), an URID map, instances with their port buffers, rendering in blocks of any length (in
// place or not), the state interface called directly and through lilv's snapshots. Test code:
// allocates freely, main thread only.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {
class Plugin;
}

namespace lv2test {

inline const std::string kUriBase = "http://www.qrx-soundwerk.com/lv2/";

class UridMap {
  public:
    UridMap();
    LV2_URID map(const std::string& uri);
    const char* unmap(LV2_URID urid) const;
    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }

  private:
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;  // URID k is uris[k - 1]
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
};

class World {
  public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    LilvWorld* lilv() const { return world; }
    // "grandpress" or "tinypress".
    const LilvPlugin* plugin(const std::string& name) const;
    LilvNode* uri(const std::string& text) const { return lilv_new_uri(world, text.c_str()); }
    UridMap& urids() { return map; }

  private:
    LilvWorld* world;
    UridMap map;
};

struct Stereo {
    std::vector<float> left, right;
    std::size_t frames() const { return left.size(); }
};

class Instance {
  public:
    // `withMap` false instantiates without any feature (as lv2apply does).
    Instance(World& world, const std::string& name, double rate, bool withMap = true);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool valid() const { return instance != nullptr; }
    const LilvPlugin* plugin() const { return plug; }
    LilvInstance* lilvInstance() const { return instance; }
    LV2_Handle handle() const { return lilv_instance_get_handle(instance); }
    int portIndex(const std::string& symbol) const;
    float& control(const std::string& symbol);
    float& controlAt(std::uint32_t port) { return controls.at(port); }
    float output(const std::string& symbol) { return control(symbol); }

    // Runs `in` through the plug-in (the side chain silent), block lengths taken in turn from
    // `blocks`; the output has the input's length plus `tail` frames of silence run through.
    Stereo render(const Stereo& in, std::size_t tail, const std::vector<std::size_t>& blocks,
                  bool inPlace = false);

    // Deactivates and activates again (the engine's suspend and resume: cleared signal path).
    void restart();

    // Applies a saved state or preset through lilv (state interface, then port values).
    void restore(const LilvState* state);
    // Snapshot through lilv (ports and the state interface).
    LilvState* snapshot();

    // The state interface called directly: every stored property by key URI (the value bytes
    // and type URI); the status save returned.
    struct Property {
        std::string type;
        std::vector<unsigned char> value;
    };
    int save(std::map<std::string, Property>& properties);
    int restore(const std::map<std::string, Property>& properties);

  private:
    World& world;
    const LilvPlugin* plug;
    LilvInstance* instance = nullptr;
    std::vector<float> controls;  // one value per port (control ports only are connected here)
    std::vector<float> sideChain;
    bool active = false;
};

// Runs `in` plus `tail` frames of silence through a VST plug-in (resumed) in blocks of 512, the
// side-chain pins given the main input as a host without a side chain does.
Stereo renderVst(host::Plugin& plugin, const Stereo& in, std::size_t tail);

// A short deterministic test signal: decaying bursts of two tones, loud enough to compress.
Stereo bursts(std::size_t frames);

// The demo signal (qrx-demo-signal, `seconds` long) read as floats.
Stereo demoSignal(const std::string& folder, double seconds);
// A float WAV file.
Stereo readWav(const std::string& path);

}  // namespace lv2test
