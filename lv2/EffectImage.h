// What the plug-in and its UI hand each other beyond the ports: the effect's state chunk (the
// sixteen programs and the current index, the VST chunk's very bytes) and the engine-only values
// (side-chain monitor and the five meter settings, indices 35..40), as one block of words for a
// SharedImage.
//
// The plug-in publishes its image when a state is restored and when it takes over the UI's; the
// UI's editor works on an effect of its own and hands its image over whenever the programs change
// in a way the ports do not carry (program switches, names, banks, memos, meter settings).
//
// Threads: capture and adopt run where the effect's chunk may be used (instantiation, state
// restore, the UI thread for the UI's own effect); takeOver runs on the audio thread and is
// lock-free and allocation-free.
#pragma once

#include <cstdint>

#include "lv2/Ports.h"
#include "lv2/SharedImage.h"
#include "presets/CompressorEffect.h"

namespace qrxlv2 {

inline constexpr int kFirstEngineOnly = 35;
inline constexpr int kEngineOnlyCount = 6;  // 35..40

struct EffectImage {
    static constexpr int kChunkWords = CPresetSystemEffect::kChunkSize / 4;
    static constexpr int kWords = kChunkWords + kEngineOnlyCount;
    std::uint32_t words[kWords] = {};

    unsigned char* chunk() { return reinterpret_cast<unsigned char*>(words); }
    const unsigned char* chunk() const { return reinterpret_cast<const unsigned char*>(words); }
    int currentProgram() const;
    float value(int program, int index) const;
    void setValue(int program, int index, float v);
    void setName(int program, const char* bytes);  // the 24 name bytes of a record
    float engineOnly(int index) const;             // index 35..40
    void setEngineOnly(int index, float v);
};

using SharedEffectImage = SharedImage<EffectImage::kWords>;

// The image of `effect` as it stands. Uses the effect's chunk buffer.
void captureImage(CompressorEffect& effect, EffectImage& image);

// Makes `effect` what `image` says through the effect's own chunk entry (programs, names, the
// current program selected) and setParameter (engine-only values). `keepPorts` keeps the current
// values of the parameters that have ports (the host's port values are newer). False when the
// effect refused the chunk.
bool adoptImage(CompressorEffect& effect, const EffectImage& image, const PortTable* keepPorts);

// Audio thread: takes over the values of an image the UI handed over, without the names (the
// plug-in's state takes those from its published image): every program's values, the current
// program selected again when its index or a value without a port changed (as the editor's
// program switch does), and the engine-only values that changed. False for a malformed image.
bool takeOverImage(CompressorEffect& effect, const PortTable& ports,
                   const EffectImage& image) noexcept;

// The values, the current index and the engine-only values as `effect` holds them now; the names
// stay. Lock-free (the program store's values and the parameters are atomics): any thread.
void refreshValues(CompressorEffect& effect, EffectImage& image) noexcept;

// Whether two images differ in anything but what the ports carry (the current program's values
// of parameters with ports, and Power, which every program shares).
bool differsBeyondPorts(const EffectImage& a, const EffectImage& b, const PortTable& ports);

}  // namespace qrxlv2
