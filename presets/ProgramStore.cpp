#include "presets/ProgramStore.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const char* const kFactoryProgramNames[kNumPrograms] = {
    "Default",      "Gentle Master",       "PhatMix",        "Mezzo Leveler",
    "Una Corda",    "A Kind of Freshness", "Peak Restore",   "Damp it!",
    "SoftQuartet",  "SharpQuartet",        "CelloConcerto",  "PeakSoftener",
    "PeakEnhancer", "HeavyDrumKit",        "SustainedDrums", "KickPump",
};

void byteSwap32(void* word) {
    auto* b = static_cast<unsigned char*>(word);
    unsigned char t = b[0];
    b[0] = b[3];
    b[3] = t;
    t = b[1];
    b[1] = b[2];
    b[2] = t;
}

std::uint32_t byteSwapped32(std::uint32_t word) {
    byteSwap32(&word);
    return word;
}

ProgramStore::ProgramStore() {
    std::memset(names, 0, sizeof names);
    for (auto& program : values)
        for (auto& v : program) v.store(0.0f, std::memory_order_relaxed);
}

void ProgramStore::setName(int program, const char* text) {
    char* field = names[program];
    const std::size_t length = strnlen(text, kProgramNameSize);
    if (length < kProgramNameSize) {
        std::memset(field, 0, kProgramNameSize);
        std::memcpy(field, text, length);
    } else {
        std::memcpy(field, text, kProgramNameSize);
    }
}

void ProgramStore::setNameBytes(int program, const char* bytes) {
    std::memcpy(names[program], bytes, kProgramNameSize);
}

void ProgramStore::getName(int program, char* text) const {
    std::memcpy(text, names[program], kProgramNameSize);
    text[kProgramNameSize] = 0;
}

ProgramRecord ProgramStore::record(int program) const {
    ProgramRecord r;
    std::memcpy(r.name, names[program], kProgramNameSize);
    for (int i = 0; i < kNumProgramParams; ++i) r.values[i] = value(program, i);
    return r;
}

bool recordValuesFinite(const ProgramRecord& record) {
    return std::all_of(std::begin(record.values), std::end(record.values),
                       [](float v) { return std::isfinite(v); });
}

void ProgramStore::setRecord(int program, const ProgramRecord& record) {
    setNameBytes(program, record.name);
    for (int i = 0; i < kNumProgramParams; ++i)
        setValue(program, i, std::clamp(record.values[i], 0.0f, 1.0f));
}
