// The adaptor's state restore (CPluginWrapper::SetState) with any bytes the host hands back, on
// two effects linked into the target: tinypress (program chunks: form A reaches effSetChunk) and
// a small effect of eight programs without chunks (form B sets names and values). A refused
// state changes nothing the host could read back; an accepted one leaves every parameter in
// 0..1, touches only programs wholly inside the data, and leaves the effect on the stored
// current program when that exists.
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tinypress/TinyPress.h"
#include "wrapper/CPluginWrapper.h"

namespace {

// --- The effect without chunks: plain arrays, every call answered at once ---
namespace plain {

constexpr int kParams = 12;
constexpr int kPrograms = 8;
constexpr int kNameSize = 24;

struct State {
    AEffect effect{};
    float values[kPrograms][kParams] = {};
    char names[kPrograms][kNameSize + 1] = {};
    int program = 0;
};
State state;

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float) {
    switch (opcode) {
        case effSetProgram:
            if (value >= 0 && value < kPrograms) state.program = static_cast<int>(value);
            return 0;
        case effGetProgram:
            return state.program;
        case effSetProgramName:
            if (ptr) std::strncpy(state.names[state.program], static_cast<char*>(ptr), kNameSize);
            return 0;
        case effGetProgramName:
            if (ptr) std::strcpy(static_cast<char*>(ptr), state.names[state.program]);
            return 0;
        default:
            return 0;
    }
}

void setParameter(AEffect*, VstInt32 index, float value) {
    if (index >= 0 && index < kParams) state.values[state.program][index] = value;
}

float getParameter(AEffect*, VstInt32 index) {
    return index >= 0 && index < kParams ? state.values[state.program][index] : 0.0f;
}

AEffect* entry(audioMasterCallback) {
    AEffect& e = state.effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = kPrograms;
    e.numParams = kParams;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.uniqueID = vstFourCC('F', 'z', 'P', 'l');
    for (int p = 0; p < kPrograms; ++p) {
        std::snprintf(state.names[p], sizeof state.names[p], "Program %d", p);
        for (int i = 0; i < kParams; ++i) state.values[p][i] = 0.5f;
    }
    return &e;
}

}  // namespace plain

tinypress::TinyPress* tinyEngine = nullptr;

AEffect* tinyEntry(audioMasterCallback master) {
    tinyEngine = new tinypress::TinyPress(master);
    return tinyEngine->getAeffect();
}

struct Adaptors {
    CPluginWrapper tiny, plain;
};

Adaptors& adaptors() {
    static Adaptors* a = [] {
        fuzz::privateConfigHome();
        auto* made = new Adaptors;
        if (!made->tiny.LoadEntry(tinyEntry) || !made->plain.LoadEntry(plain::entry)) std::abort();
        return made;
    }();
    return *a;
}

std::vector<unsigned char> stateOf(CPluginWrapper& w) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(w.GetStateSize()) + 64, 0);
    const int n = w.GetState(bytes.data(), static_cast<int>(bytes.size()));
    FUZZ_CHECK(n > 0, "the adaptor hands out no state");
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

std::uint32_t bigEndianWord(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

void checkParameters(CPluginWrapper& w) {
    for (int i = 0; i < w.GetNumParams(); ++i) {
        const float v = w.GetParameter(i);
        FUZZ_CHECK(v >= 0.0f && v <= 1.0f, "a restored parameter is outside 0..1");
    }
}

void runOn(CPluginWrapper& w, bool chunks, const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> before = stateOf(w);
    const VstIntPtr programBefore = w.Dispatch(effGetProgram, 0, 0, nullptr, 0.0f);
    plain::State plainBefore = plain::state;

    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size ? size : 1]);
    if (size) std::memcpy(block.get(), data, size);
    w.SetState(block.get(), static_cast<int>(size));

    checkParameters(w);
    if (tinyEngine && chunks) fuzz::checkSound(*tinyEngine, "after SetState");
    const VstIntPtr programAfter = w.Dispatch(effGetProgram, 0, 0, nullptr, 0.0f);

    const std::uint32_t tag = size >= 12 ? bigEndianWord(data + size - 8) : 0;
    const bool formA = tag == 0x3000, formB = tag == 0x2001 || tag == 0x2000;
    // Form B needs its two counts and two closing words (16 bytes); form A a chunk of any size.
    const bool accepted = (formB && size >= 16) || (formA && chunks && size >= 12);
    if (!accepted) {
        FUZZ_CHECK(stateOf(w) == before, "a refused state changed the effect");
        FUZZ_CHECK(programAfter == programBefore, "a refused state changed the program");
        return;
    }
    if (!formB || chunks) return;

    // Form B on the plain effect: programs wholly inside the data may change, no other.
    const std::uint64_t params = bigEndianWord(data);
    const std::uint64_t stride = 64 + 4 * params;
    const std::uint64_t readable = size >= 16 ? (size - 16) / stride : 0;
    for (int p = 0; p < plain::kPrograms; ++p) {
        if (static_cast<std::uint64_t>(p) < readable) continue;
        FUZZ_CHECK(std::memcmp(plainBefore.values[p], plain::state.values[p],
                               sizeof plain::state.values[p]) == 0 &&
                       std::strcmp(plainBefore.names[p], plain::state.names[p]) == 0,
                   "form B changed a program that is not in the data");
    }
    // A stored current program that exists is the one the effect ends on (without one, the
    // effect stays on the last program restored).
    const auto stored = static_cast<std::int32_t>(bigEndianWord(data + size - 4));
    if (stored >= 0 && stored < plain::kPrograms)
        FUZZ_CHECK(programAfter == stored, "form B left the effect on another program");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    Adaptors& a = adaptors();
    runOn(a.tiny, true, data, size);
    runOn(a.plain, false, data, size);
    return 0;
}
