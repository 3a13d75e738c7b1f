// CPluginWrapper: the "Complete State" chunk. Form A carries the effect's bank chunk, form B
// every program's name and parameter values. The adaptor's own words are big-endian.
// Main thread; form B excludes processing calls through the gate while it changes programs.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "wrapper/CPluginWrapper.h"

namespace {

constexpr std::uint32_t kTagFormA = 0x00003000;
constexpr std::uint32_t kTagFormB = 0x00002001;
constexpr std::uint32_t kTagFormBOld = 0x00002000;
constexpr int kNameBytes = 64;

void putWord(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint32_t getWord(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint32_t floatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float bitsFloat(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

int CPluginWrapper::GetStateSize() {
    if (!loaded_) return 8;
    if (effect_->flags & effFlagsProgramChunks) {
        void* chunk = nullptr;
        const VstIntPtr length = dispatch(effGetChunk, 0, 0, &chunk);
        return static_cast<int>((chunk && length > 0 ? length : 0) + 8);
    }
    const int params = numParams_;
    const int programs = effect_->numPrograms > 0 ? effect_->numPrograms : 0;
    return (params + 16) * programs * 4 + 16;
}

int CPluginWrapper::GetState(void* data, int capacity) {
    if (!loaded_ || data == nullptr) return 0;
    currentProgram_ = static_cast<int>(dispatch(effGetProgram));
    auto* bytes = static_cast<unsigned char*>(data);
    if (effect_->flags & effFlagsProgramChunks) return saveFormA(bytes, capacity);
    return saveFormB(bytes, capacity);
}

int CPluginWrapper::saveFormA(unsigned char* data, int capacity) {
    void* chunk = nullptr;
    const VstIntPtr length = dispatch(effGetChunk, 0, 0, &chunk);
    if (chunk == nullptr || length < 0 || length > capacity - 8) return 0;
    std::memcpy(data, chunk, static_cast<size_t>(length));
    putWord(data + length, kTagFormA);
    putWord(data + length + 4, kTagFormA);
    return static_cast<int>(length + 8);
}

int CPluginWrapper::saveFormB(unsigned char* data, int capacity) {
    const int params = numParams_;
    const int programs = effect_->numPrograms > 0 ? effect_->numPrograms : 0;
    const int size = (params + 16) * programs * 4 + 16;
    if (size > capacity) return 0;
    gate_.beginStateLoad();
    putWord(data, static_cast<std::uint32_t>(params));
    putWord(data + 4, static_cast<std::uint32_t>(programs));
    unsigned char* p = data + 8;
    for (int i = 0; i < programs; ++i) {
        dispatch(effSetProgram, 0, i);
        // Some effects write longer names than the record holds: read into room to spare.
        char name[256] = {};
        dispatch(effGetProgramName, 0, 0, name);
        name[kNameBytes - 1] = '\0';
        std::memset(p, 0, kNameBytes);
        std::memcpy(p, name, std::strlen(name));
        p += kNameBytes;
        for (int u = 0; u < params; ++u, p += 4) putWord(p, floatBits(getParameter_(effect_, u)));
    }
    dispatch(effSetProgram, 0, currentProgram_);
    putWord(p, kTagFormB);
    putWord(p + 4, static_cast<std::uint32_t>(currentProgram_));
    gate_.endStateLoad();
    return size;
}

void CPluginWrapper::SetState(const void* data, int size) {
    if (data == nullptr || size <= 11 || !loaded_) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::uint32_t tag = getWord(bytes + size - 8);
    if (tag != kTagFormA && tag != kTagFormB && tag != kTagFormBOld) return;
    const bool programChunks = (effect_->flags & effFlagsProgramChunks) != 0;
    // A bank chunk is meaningless to an effect without program chunks: read as form B it would
    // set parameters from chunk bytes.
    if (tag == kTagFormA && !programChunks) return;
    // While the effect restores it reports its program changes (a whole program per program it
    // selects); the host controls follow once, at the end, and only where a value changed.
    restoring_.store(true, std::memory_order_relaxed);
    if (tag == kTagFormA) {
        std::vector<unsigned char> chunk(bytes,
                                         bytes + size - 8);  // the effect gets a writable copy
        dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    } else {
        restoreFormB(bytes, size);
    }
    restoring_.store(false, std::memory_order_relaxed);
    if (callback_) callback_->RefreshAllParameters();
    refreshCountdown_ = 2;
}

void CPluginWrapper::restoreFormB(const unsigned char* data, int size) {
    // The two counts and the two closing words take 16 bytes: shorter data holds no program,
    // and would make the body size below wrap around.
    if (size < 16) return;
    const std::uint64_t storedParams = getWord(data);
    const std::uint64_t storedPrograms = getWord(data + 4);
    const std::int32_t current = static_cast<std::int32_t>(getWord(data + size - 4));
    // Programs follow each other at the stored stride; surplus values of a larger stored
    // parameter count are skipped, and only programs wholly inside the data are read.
    const std::uint64_t stride = kNameBytes + 4 * storedParams;
    const std::uint64_t body = static_cast<std::uint64_t>(size) - 16;
    const std::uint64_t readable = body / stride;
    const int effectPrograms = effect_->numPrograms > 0 ? effect_->numPrograms : 0;
    std::uint64_t programs = std::min<std::uint64_t>(storedPrograms, effectPrograms);
    programs = std::min(programs, readable);
    const int params = static_cast<int>(std::min<std::uint64_t>(storedParams, numParams_));

    gate_.beginStateLoad();
    for (std::uint64_t i = 0; i < programs; ++i) {
        const unsigned char* p = data + 8 + i * stride;
        dispatch(effSetProgram, 0, static_cast<VstIntPtr>(i));
        char name[kNameBytes];
        std::memcpy(name, p, kNameBytes);
        name[kNameBytes - 1] = '\0';  // a stored name may lack its terminator
        dispatch(effSetProgramName, 0, 0, name);
        for (int u = 0; u < params; ++u) {
            const float value = bitsFloat(getWord(p + kNameBytes + 4 * u));
            if (value >= 0.0f && value <= 1.0f) SetParameter(u, value);  // NaN fails both
        }
    }
    gate_.endStateLoad();
    gate_.beginStateLoad();
    if (current >= 0 && current < effectPrograms) {
        dispatch(effSetProgram, 0, current);
        currentProgram_ = current;
    }
    gate_.endStateLoad();
}
