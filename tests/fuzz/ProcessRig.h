// The host side of the process fuzz target: the host callback and its answers, the plug-in
// libraries loaded like a host loads them, instances made through their entry point, and the
// guarded buffers and exact-size pointer arrays a block is handed in. Single-threaded (the
// fuzzer's thread).
#pragma once

#include <sanitizer/asan_interface.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsp/MeterFeed.h"
#include "platform/DynamicLibrary.h"
#include "shell/FamilyIdentity.h"
#include "tests/fuzz/FuzzBasics.h"

namespace fuzz::process {

using EntryPoint = AEffect* (*)(audioMasterCallback);

struct HostState {
    std::uint8_t pins = 0x3F;  // bits 0..3 inputs, 4..5 outputs: connected
    VstIntPtr blockSize = 512;
    double rate = 44100.0;
};
inline HostState host;

inline VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                              float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterPinConnected: {
            // 0 answers "connected".
            const int bit = value ? 4 + index : index;
            if (index < 0 || bit > 5) return 1;
            return (host.pins >> bit) & 1 ? 0 : 1;
        }
        case audioMasterGetBlockSize:
            return host.blockSize;
        case audioMasterGetSampleRate:
            return std::isfinite(host.rate) && std::fabs(host.rate) < 1e9
                       ? static_cast<VstIntPtr>(host.rate)
                       : 0;
        default:
            return 0;
    }
}

struct Library {
    std::unique_ptr<platform::DynamicLibrary> library;
    EntryPoint entry = nullptr;
};

inline std::string pluginFolder() {
    const char* given = std::getenv("QRX_FUZZ_PLUGINS");
    return given && *given ? given : QRX_PLUGIN_DIR;
}

inline Library loadLibrary(const char* name) {
    Library l;
    const std::string path = pluginFolder() + "/" + name + platform::kLibrarySuffix;
    std::string error;
    l.library = platform::DynamicLibrary::load(path, &error);
    if (!l.library) {
        std::fprintf(stderr, "fuzz_process: cannot load %s: %s\n", path.c_str(), error.c_str());
        std::abort();
    }
    l.entry = reinterpret_cast<EntryPoint>(l.library->symbol("VSTPluginMain"));
    FUZZ_CHECK(l.entry != nullptr, "the plug-in exports no VSTPluginMain");
    return l;
}

inline Library& libraryFor(bool tinypress) {
    static Library grand = loadLibrary("grandpress");
    static Library tiny = loadLibrary("tinypress");
    return tinypress ? tiny : grand;
}

// QRX_FUZZ_TRACE=1: one line per operation on stderr (for reading a reproducer).
inline bool tracing() {
    static const bool on = [] {
        const char* s = std::getenv("QRX_FUZZ_TRACE");
        return s && *s == '1';
    }();
    return on;
}

#define TRACE(...)                                        \
    do {                                                  \
        if (tracing()) std::fprintf(stderr, __VA_ARGS__); \
    } while (0)

inline bool sameKernels() {
    static const bool same = [] {
        const char* s = std::getenv("QRX_FUZZ_SAME_KERNELS");
        return s && *s == '1';
    }();
    return same;
}

// One instance of the plug-in, made through the library's entry point; effClose ends it.
class Instance {
  public:
    explicit Instance(bool tinypress) : fx_(libraryFor(tinypress).entry(hostCallback)) {
        FUZZ_CHECK(fx_ != nullptr && fx_->magic == kEffectMagic, "the entry point made no effect");
        call(effOpen);
        const MeterFeed* feed = nullptr;
        FUZZ_CHECK(call(effVendorSpecific, family::kMeterFeedRequest, 0, &feed) == 1 && feed,
                   "no meter feed");
        meters_ = feed;
    }
    ~Instance() { call(effClose); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
        return fx_->dispatcher(fx_, opcode, index, value, ptr, opt);
    }
    AEffect* effect() { return fx_; }
    // Chooses the kernels (false: baseline) and answers the name of the set now in use.
    std::string chooseKernels(bool best) {
        const char* name = nullptr;
        call(effVendorSpecific, family::kInstructionSetRequest, best ? 1 : 0, &name);
        return name ? name : "";
    }
    const MeterFeed& meters() const { return *meters_; }

  private:
    AEffect* fx_;
    const MeterFeed* meters_ = nullptr;
};

// One channel of `frames` samples that starts `offset` samples into its allocation; the samples
// before it are guard samples (poisoned where the sanitizer's granules allow, and checked), the
// allocation ends with the last sample so any access past it is caught.
template <typename Sample>
class Channel {
  public:
    Channel(int frames, int offset) : frames_(frames), offset_(offset) {
        const std::size_t count =
            static_cast<std::size_t>(frames) + static_cast<std::size_t>(offset);
        base_ = static_cast<Sample*>(std::malloc(count ? count * sizeof(Sample) : 1));
        FUZZ_CHECK(base_ != nullptr, "out of memory");
        std::memset(static_cast<void*>(base_), kGuardByte,
                    static_cast<std::size_t>(offset) * sizeof(Sample));
        ASAN_POISON_MEMORY_REGION(base_, static_cast<std::size_t>(offset) * sizeof(Sample));
    }
    ~Channel() {
        ASAN_UNPOISON_MEMORY_REGION(base_, static_cast<std::size_t>(offset_) * sizeof(Sample));
        std::free(base_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    Sample* data() { return base_ + offset_; }
    bool guardIntact() {
        ASAN_UNPOISON_MEMORY_REGION(base_, static_cast<std::size_t>(offset_) * sizeof(Sample));
        const auto* bytes = reinterpret_cast<const unsigned char*>(base_);
        bool intact = true;
        for (std::size_t i = 0; i < static_cast<std::size_t>(offset_) * sizeof(Sample); ++i)
            intact = intact && bytes[i] == kGuardByte;
        ASAN_POISON_MEMORY_REGION(base_, static_cast<std::size_t>(offset_) * sizeof(Sample));
        return intact;
    }

  private:
    static constexpr unsigned char kGuardByte = 0xA5;
    Sample* base_ = nullptr;
    int frames_, offset_;
};

// An exact-size array of channel pointers (the host's inputs or outputs argument).
template <typename Sample>
class PointerArray {
  public:
    explicit PointerArray(int count)
        : entries_(new Sample*[count > 0 ? count : 0]), count_(count) {}
    Sample** get() { return entries_.get(); }
    Sample*& operator[](int i) { return entries_[i]; }
    int count() const { return count_; }

  private:
    std::unique_ptr<Sample*[]> entries_;
    int count_;
};

// What the host hands one instance for one block.
template <typename Sample>
struct HostIo {
    std::vector<std::unique_ptr<Channel<Sample>>> ins, outs;  // storage
    std::unique_ptr<PointerArray<Sample>> inArray, outArray;  // null: the host passes null
    std::vector<bool> outAliasesInput;

    Sample** inputs() { return inArray ? inArray->get() : nullptr; }
    Sample** outputs() { return outArray ? outArray->get() : nullptr; }
    Sample* output(int c) { return outArray ? (*outArray)[c] : nullptr; }
};

}  // namespace fuzz::process
