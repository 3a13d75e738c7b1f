// One LV2 plug-in instance: the engine's effect driven as a VST host drives it (sample rate,
// resume and suspend, processReplacing), its host parameters as control ports in physical units,
// the latency and the two channels' gain as output ports, and the LV2 state.
//
// Ports and parameters: a control port's value reaches the engine only when it changed since the
// last block, and only when it stands for another value than the engine has (so a host that
// writes the same value every block, or writes back what a program or the state set, causes no
// rounding drift).
//
// State (state:interface, needs urid:map): the key "chunk" holds the 2592 bytes of the VST
// plug-in's chunk (sixteen programs and the current one; a program moves between the formats),
// "meterSettings" the five engine-only meter settings. Restoring a "program" (a 165-byte preset
// image, as the preset files hold) loads it into the current program: the factory presets carry
// one, so a preset sets every value of the program, also those without a port.
//
// Threads (LV2's classes): construction, activate, deactivate, restore and destruction are
// instantiation functions; run is the audio thread: no lock, no allocation, no system call.
// Restore is not thread-safe with run (hosts keep them apart; we do not claim
// state:threadSafeRestore). Save may run beside run: it reads the program values (atomics) and
// the published image (lock-free). The UI thread reaches the instance only through the
// InstanceLink (the first member).
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <memory>

#include "lv2/EffectImage.h"
#include "lv2/InstanceLink.h"
#include "lv2/Ports.h"

namespace qrxlv2 {

class DspInstance {
  public:
    // Null when the effect cannot be made.
    static DspInstance* create(const Engine& engine, double sampleRate,
                               const LV2_Feature* const* features);
    ~DspInstance();
    DspInstance(const DspInstance&) = delete;
    DspInstance& operator=(const DspInstance&) = delete;

    void connect(std::uint32_t port, void* data) noexcept;
    void activate();
    void deactivate();
    void run(std::uint32_t frames) noexcept;

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // The state's keys (under kProjectUri); public for the tests and the preset generator.
    static constexpr const char* kChunkKey = "state#chunk";
    static constexpr const char* kProgramKey = "state#program";
    static constexpr const char* kMeterSettingsKey = "state#meterSettings";

  private:
    DspInstance(const Engine& engine, double sampleRate);
    void mapUris(const LV2_URID_Map* map);
    void takeOverFromUi() noexcept;
    void applyPorts() noexcept;
    void process(std::uint32_t frames) noexcept;
    void writeOutputPorts() noexcept;
    void publish();
    // The published image into stateImage; false when writes kept overlapping the copy.
    bool readPublished();
    bool restoreChunk(const void* value, std::size_t size);
    bool restoreProgram(const void* value, std::size_t size);
    void restoreMeterSettings(const void* value, std::size_t size, std::uint32_t type);

    InstanceLink link;  // first: the UI's instance access points here
    const Engine& engine;
    PortTable ports;
    std::unique_ptr<CompressorEffect> effect;
    int latency = 0;

    float* audio[6] = {};
    float* latencyPort = nullptr;
    float* gainPorts[2] = {};
    const float* controls[kNumProgramParams] = {};
    float lastPortValue[kNumProgramParams];

    SharedEffectImage published, fromUi;
    std::uint32_t takenFromUi = 0;  // generation of the UI's image taken over last
    EffectImage runImage;           // audio thread
    EffectImage stateImage;         // save, restore, instantiation

    struct Uris {
        LV2_URID chunk = 0, program = 0, meterSettings = 0;
        LV2_URID atomChunk = 0, atomVector = 0, atomFloat = 0;
    } uris;
};

}  // namespace qrxlv2
