// A small scriptable NRTX host for tests and tools: loads the engine stand-in Motor.so and a
// plug-in library the way the real host does (engine first, then the library, whose attach
// registers its open and close procedures; WinPlugInOpen(0x49); NewPlugIn), instantiates its
// types and drives the instances: controls, chunks, real-time and offline rendering, the view.
//
// Threads: everything on the caller's thread, which plays both the host's main and real-time
// thread unless a test renders from a thread of its own (render only).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nrtx-standins/Motor.h"
#include "nrtx/NrtxAbi.h"
#include "platform/DynamicLibrary.h"

namespace nrtx_host {

class Engine {
  public:
    // Loads Motor.so (by path) so plug-in libraries find it among the loaded libraries.
    static std::unique_ptr<Engine> load(const std::string& path, std::string* error = nullptr);
    ~Engine();
    void configure(const MotorSettings& settings);
    MotorSettings settings() const;
    // The open and close procedures a plug-in library registered, null when none did.
    std::pair<nrtx::PlugInProc, nrtx::PlugInProc> registeredProcs() const;

  private:
    explicit Engine(std::unique_ptr<platform::DynamicLibrary> library)
        : library_(std::move(library)) {}
    std::unique_ptr<platform::DynamicLibrary> library_;
};

class PlugInLibrary {
  public:
    // Loads the library, calls WinPlugInOpen(0x49) and NewPlugIn. Null on failure, with the
    // reason (and NewPlugIn's code in *code when it failed).
    static std::unique_ptr<PlugInLibrary> load(const std::string& path,
                                               std::string* error = nullptr,
                                               std::int32_t* code = nullptr);
    // WinPlugInClose, then unloads. Release every instance first.
    ~PlugInLibrary();
    nrtx::Group& group() { return *group_; }
    // Index of the type with `typeId`, -1 when there is none.
    int findType(std::uint32_t typeId);
    void* symbol(const char* name) const;

  private:
    PlugInLibrary(std::unique_ptr<platform::DynamicLibrary> library, nrtx::Group* group)
        : library_(std::move(library)), group_(group) {}
    std::unique_ptr<platform::DynamicLibrary> library_;
    nrtx::Group* group_;
};

struct AutomationEvent {
    int index;
    std::int32_t value;
};

class Instance : private nrtx::HostListener {
  public:
    // Null when the group does not make the type.
    static std::unique_ptr<Instance> create(PlugInLibrary& library, std::uint32_t typeId);
    ~Instance();

    nrtx::Instance& raw() { return *instance_; }
    const nrtx::TypeInfo& type() const { return type_; }
    int mainChannels() const { return type_.formatValues[0] == 1 ? 1 : 2; }
    bool hasKeyInput() const { return type_.formatValues[1] == 1; }

    // Controls (1-based).
    int controlCount();
    std::string controlName(int index);       // all lines, '\n' separated
    std::string controlFirstLine(int index);  // the longest name
    bool isOnOff(int index);
    std::int32_t value(int index);
    std::string text(int index, int maxLength = 31);
    std::string textOf(int index, std::int32_t value, int maxLength = 31);
    void set(int index, std::int32_t value);
    void setUnit(int index, double unit);  // 0..1
    void setBypass(bool on) {
        set(nrtx::kMasterBypassControl, on ? nrtx::kControlOn : nrtx::kControlOff);
    }
    bool bypassed() { return value(nrtx::kMasterBypassControl) >= 0; }  // on for any value >= 0
    // Control changes the plug-in reported since the last clear.
    const std::vector<AutomationEvent>& automation() const { return automation_; }
    void clearAutomation() { automation_.clear(); }

    // Chunks: whole records (header included); empty when the id is unknown.
    std::vector<unsigned char> saveChunk(std::uint32_t id);
    bool restoreChunk(const std::vector<unsigned char>& record);

    // One render call; answers (consumed, written).
    std::pair<int, int> render(const float* const* inputs, float* const* outputs, const float* key,
                               int frames);

  private:
    Instance(nrtx::Instance* instance, const nrtx::TypeInfo& type)
        : instance_(instance), type_(type) {}
    void controlChanged(std::int32_t index, std::int32_t value) override {
        automation_.push_back({index, value});
    }

    nrtx::Instance* instance_;
    nrtx::TypeInfo type_;
    std::vector<AutomationEvent> automation_;
};

// Planar audio: one vector per channel, all of the same length.
using Audio = std::vector<std::vector<float>>;

// Renders `input` as the real-time engine does: host buffers cycling through `bufferLengths`,
// the master bypass switched at the frames in `bypassToggles` (sorted; it starts as the
// instance has it), the key input from `key` when given. Output has the type's main channel
// count.
Audio renderRealTime(Instance& instance, const Audio& input, const std::vector<int>& bufferLengths,
                     const std::vector<int>& bypassToggles = {},
                     const std::vector<float>* key = nullptr);

// Renders `input` offline in host blocks of `blockLength`: offers the unconsumed rest of each
// block again, then silence until as many frames were written as were read.
Audio renderOffline(Instance& instance, const Audio& input, int blockLength,
                    const std::vector<float>* key = nullptr);

}  // namespace nrtx_host
