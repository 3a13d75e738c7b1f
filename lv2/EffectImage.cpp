#include "lv2/EffectImage.h"

#include <cmath>
#include <cstring>

namespace qrxlv2 {
namespace {

constexpr int kHeaderWords = 8;  // format, plug-in id, program count, current program, 4 spare
constexpr int kRecordWords = static_cast<int>(sizeof(ProgramRecord)) / 4;
constexpr int kNameWords = kProgramNameSize / 4;

int valueWord(int program, int index) {
    return kHeaderWords + program * kRecordWords + kNameWords + index;
}

float asFloat(std::uint32_t w) {
    float v;
    std::memcpy(&v, &w, 4);
    return v;
}

std::uint32_t asWord(float v) {
    std::uint32_t w;
    std::memcpy(&w, &v, 4);
    return w;
}

}  // namespace

int EffectImage::currentProgram() const {
    return static_cast<int>(words[3]);
}

float EffectImage::value(int program, int index) const {
    return asFloat(words[valueWord(program, index)]);
}

void EffectImage::setValue(int program, int index, float v) {
    words[valueWord(program, index)] = asWord(v);
}

void EffectImage::setName(int program, const char* bytes) {
    std::memcpy(&words[kHeaderWords + program * kRecordWords], bytes, kProgramNameSize);
}

float EffectImage::engineOnly(int index) const {
    return asFloat(words[kChunkWords + index - kFirstEngineOnly]);
}

void EffectImage::setEngineOnly(int index, float v) {
    words[kChunkWords + index - kFirstEngineOnly] = asWord(v);
}

void captureImage(CompressorEffect& effect, EffectImage& image) {
    void* chunk = nullptr;
    if (effect.getChunk(&chunk, false) == CPresetSystemEffect::kChunkSize && chunk)
        std::memcpy(image.chunk(), chunk, CPresetSystemEffect::kChunkSize);
    for (int i = kFirstEngineOnly; i < kFirstEngineOnly + kEngineOnlyCount; ++i)
        image.setEngineOnly(i, effect.getParameter(i));
}

bool adoptImage(CompressorEffect& effect, const EffectImage& image, const PortTable* keepPorts) {
    float kept[kNumProgramParams];
    for (int i = 0; i < kNumProgramParams; ++i) kept[i] = effect.getParameter(i);
    unsigned char chunk[CPresetSystemEffect::kChunkSize];
    std::memcpy(chunk, image.chunk(), sizeof chunk);
    if (effect.setChunk(chunk, sizeof chunk, false) != 0) return false;
    if (keepPorts)
        for (int k = 0; k < keepPorts->controlCount(); ++k) {
            const int i = keepPorts->parameterAt(k);
            if (effect.getParameter(i) != kept[i]) effect.setParameter(i, kept[i]);
        }
    for (int i = kFirstEngineOnly; i < kFirstEngineOnly + kEngineOnlyCount; ++i)
        if (effect.getParameter(i) != image.engineOnly(i))
            effect.setParameter(i, image.engineOnly(i));
    return true;
}

bool takeOverImage(CompressorEffect& effect, const PortTable& ports,
                   const EffectImage& image) noexcept {
    ProgramStore* store = effect.programStore();
    const int current = image.currentProgram();
    if (!store || image.words[0] != CPresetSystemEffect::kChunkFormat ||
        image.words[1] != ports.engine().uniqueId || image.words[2] != kNumPrograms ||
        current < 0 || current >= kNumPrograms)
        return false;
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i)
            if (!std::isfinite(image.value(p, i))) return false;

    bool select = current != effect.getCurrentProgramIndex();
    for (int i = 0; i < kNumProgramParams && !select; ++i)
        select = ports.portOf(i) < 0 && image.value(current, i) != effect.getParameter(i);
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) {
            // Unless the program is selected again, the ports bring the current values.
            if (p == current && !select && (i == 0 || ports.portOf(i) >= 0)) continue;
            const float v = image.value(p, i);
            store->setValue(p, i, v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v));
        }
    if (select) effect.selectProgram(current);
    for (int i = kFirstEngineOnly; i < kFirstEngineOnly + kEngineOnlyCount; ++i) {
        const float v = image.engineOnly(i);
        if (std::isfinite(v) && v != effect.getParameter(i)) effect.setParameter(i, v);
    }
    return true;
}

void refreshValues(CompressorEffect& effect, EffectImage& image) noexcept {
    const ProgramStore* store = effect.programStore();
    if (!store) return;
    image.words[3] = static_cast<std::uint32_t>(effect.getCurrentProgramIndex());
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) image.setValue(p, i, store->value(p, i));
    for (int i = kFirstEngineOnly; i < kFirstEngineOnly + kEngineOnlyCount; ++i)
        image.setEngineOnly(i, effect.getParameter(i));
}

bool differsBeyondPorts(const EffectImage& a, const EffectImage& b, const PortTable& ports) {
    const int current = a.currentProgram();
    for (int w = 0; w < EffectImage::kWords; ++w) {
        if (a.words[w] == b.words[w]) continue;
        const int inRecords = w - kHeaderWords;
        if (w < kHeaderWords || w >= EffectImage::kChunkWords) return true;
        const int program = inRecords / kRecordWords;
        const int index = inRecords % kRecordWords - kNameWords;
        const bool carried = index == 0 || (program == current && ports.portOf(index) >= 0);
        if (index < 0 || !carried) return true;
    }
    return false;
}

}  // namespace qrxlv2
