// The engines as the LV2 tests name them, and the VST chunk of an engine's factory bank.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/Engines.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetImage.h"

namespace lv2test {

inline const qrxlv2::Engine& engineNamed(const std::string& name) {
    return name == "grandpress" ? qrxlv2::grandpressEngine() : qrxlv2::tinypressEngine();
}

// The records of an engine's sixteen factory programs.
inline std::vector<ProgramRecord> factoryRecords(const qrxlv2::Engine& engine) {
    std::vector<ProgramRecord> records(kNumPrograms);
    for (int p = 0; p < kNumPrograms; ++p) {
        std::memcpy(records[p].name, kFactoryProgramNames[p],
                    strnlen(kFactoryProgramNames[p], kProgramNameSize));
        for (int i = 0; i < kNumProgramParams; ++i)
            records[p].values[i] = static_cast<float>(engine.programs[p].values[i]);
    }
    return records;
}

// The 165-byte preset image (a "qrx" file) of factory program `program`.
inline std::vector<std::uint8_t> factoryPreset(const qrxlv2::Engine& engine, int program) {
    std::vector<std::uint8_t> image(kPresetImageSize);
    writeImage(image.data(), engine.uniqueId, kPresetImageType, &factoryRecords(engine)[program],
               1);
    return image;
}

// The 2592 bytes the VST plug-in hands out for its factory bank with program `current` selected.
inline std::vector<std::uint8_t> factoryChunk(const qrxlv2::Engine& engine, int current) {
    std::vector<std::uint8_t> chunk(CPresetSystemEffect::kChunkSize);
    CPresetSystemEffect::writeChunkImage(chunk.data(), engine.uniqueId, current,
                                         factoryRecords(engine).data());
    return chunk;
}

}  // namespace lv2test
