// The binary interface between an NRTX host and a plug-in library: what the host reaches through
// the library's exports (NewPlugIn, _PI_GetRoutineDescriptor, WinPlugInOpen, WinPlugInClose).
// Both sides are ours; the records are plain and the interfaces pure virtual, so host and
// plug-in may be built separately with the same compiler. No exception crosses these calls.
//
// Threads: Group and Instance calls come from the host's main thread, except Instance::render,
// which the host calls on its real-time thread. HostListener::controlChanged is called on the
// main thread (from setControlValue-like plug-in work, never from render).
#pragma once

#include <climits>
#include <cstdint>

namespace nrtx {

constexpr std::uint32_t fourCC(const char (&s)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

// Host control values are 32-bit: INT32_MIN is the bottom of a control's range, INT32_MAX its
// top. An on/off control is on for any value >= 0.
constexpr std::int32_t kControlOff = INT32_MIN;
constexpr std::int32_t kControlOn = INT32_MAX;

// Index of the master bypass control; plug-in controls follow from 2.
constexpr std::int32_t kMasterBypassControl = 1;

// Selector of FicGestalt that asks whether the engine knows its maximum real-time quantum.
constexpr std::uint32_t kGestaltQuantum = fourCC("vqta");
// Selector of FicGestalt that answers the engine's sample rate in Hz (0 when not running).
constexpr std::uint32_t kGestaltSampleRate = fourCC("srat");

// The host library's own chunk of control values (one big-endian int32 per control).
constexpr std::uint32_t kControlsChunkId = fourCC("elck");

// Entry code WinPlugInOpen accepts.
constexpr std::int32_t kPlugInOpenCode = 0x49;

enum class TypeKind : std::int32_t { RealTime = 1, Offline = 2 };

// Channel format values of a type: formatValues[0] = 1 for one main channel (else two),
// formatValues[1] = 1 when the type has a key input, formatValues[2] reserved (0).
struct TypeInfo {
    std::uint32_t productId;
    std::uint32_t typeId;
    TypeKind kind;
    std::int32_t formatValues[3];
    std::int32_t options[3];      // opaque option numbers, kept for the engine
    std::int32_t furtherSetting;  // opaque
    char effectName[64];
};

// Chunk record: this header, then `size - 56` bytes of chunk data.
struct ChunkHeader {
    std::int32_t size;  // data length + 56
    std::uint32_t id;
    std::int32_t version;
    char name[32];
    std::int32_t reserved[3];
};
static_assert(sizeof(ChunkHeader) == 56, "chunk record header is 56 bytes");

// One render call. The plug-in reads `frames` samples from each input (the second main input
// is ignored by a one-channel type), writes `written` samples to the outputs and reports how
// many input samples it has consumed.
struct RenderBlock {
    const float* inputs[2];
    float* outputs[2];
    const float* keyInput;  // null: no key input connected
    std::int32_t frames;
    std::int32_t consumed;  // set by the plug-in
    std::int32_t written;   // set by the plug-in
};

// The host's side of automation: the plug-in moved a control.
class HostListener {
  public:
    virtual void controlChanged(std::int32_t index, std::int32_t value) = 0;

  protected:
    ~HostListener() = default;
};

enum class ControlKind : std::int32_t { Continuous = 0, OnOff = 1 };

class Instance {
  public:
    virtual void release() = 0;

    // Controls, 1-based.
    virtual std::int32_t controlCount() = 0;
    // Name lines separated by '\n'; false for an unknown index.
    virtual bool controlName(std::int32_t index, char* text, std::int32_t capacity) = 0;
    virtual ControlKind controlKind(std::int32_t index) = 0;
    virtual std::int32_t controlValue(std::int32_t index) = 0;
    virtual std::int32_t controlDefault(std::int32_t index) = 0;
    // Text of `value` cut to maxLength characters (text needs maxLength + 1 bytes).
    virtual void controlText(std::int32_t index, std::int32_t value, char* text,
                             std::int32_t maxLength) = 0;
    virtual void setControlValue(std::int32_t index, std::int32_t value) = 0;
    virtual void setListener(HostListener* listener) = 0;

    // Chunks.
    virtual std::int32_t chunkCount() = 0;
    virtual std::uint32_t chunkId(std::int32_t i) = 0;
    // Record size (header included) of the chunk as it is now; 0 for an unknown id.
    virtual std::int32_t chunkSize(std::uint32_t id) = 0;
    // Writes the record; answers its size, 0 when it does not fit or the id is unknown.
    virtual std::int32_t getChunk(std::uint32_t id, void* record, std::int32_t capacity) = 0;
    // Reads a record; false when it is malformed or of an unknown id.
    virtual bool setChunk(const void* record, std::int32_t length) = 0;

    // Real-time thread.
    virtual void render(RenderBlock* block) = 0;

    // View. `parent` is the host's native window (an X11 window id on Linux).
    virtual void setViewOption(std::int32_t option) = 0;
    virtual void viewSize(std::int32_t* width, std::int32_t* height) = 0;
    virtual void viewOpen(std::uintptr_t parent) = 0;
    virtual void viewClose() = 0;
    virtual void viewIdle() = 0;
    virtual void viewRedraw() = 0;

  protected:
    ~Instance() = default;
};

class Group {
  public:
    virtual const char* effectName() = 0;
    virtual const char* manufacturerName() = 0;
    virtual std::uint32_t manufacturerId() = 0;
    virtual std::int32_t typeCount() = 0;
    virtual bool typeInfo(std::int32_t i, TypeInfo* info) = 0;
    // Null when the type is unknown or the instance could not be made.
    virtual Instance* newInstance(std::int32_t typeIndex) = 0;
    virtual void idle() = 0;

  protected:
    ~Group() = default;
};

// Exports of a plug-in library.
using NewPlugInProc = std::int32_t (*)();
using RoutineDescriptorProc = void* (*)(std::int32_t selector);  // selector 0: the Group
using WinPlugInOpenProc = std::int32_t (*)(std::int32_t code);
using WinPlugInCloseProc = void (*)();

// Exports of the engine library Motor.so.
using PlugInProc = std::int32_t (*)();
using SetOpenCloseProcsProc = void (*)(PlugInProc open, PlugInProc close);
using FicGestaltProc = std::int32_t (*)(std::uint32_t selector, std::int32_t* response);
using MaximumQuantumProc = std::int32_t (*)();

}  // namespace nrtx
