#include "presets/CPresetSystemEffect.h"

#include <cstring>
#include <new>

CPresetSystemEffect::CPresetSystemEffect(audioMasterCallback audioMaster,
                                         const FactoryProgram* factory)
    : AudioEffectX(audioMaster, 1, kNumProgramParams), factory(factory) {
    chunk.reset(new (std::nothrow) unsigned char[kChunkSize]);
    store.reset(new (std::nothrow) ProgramStore);
    if (chunk) std::memset(chunk.get(), 0, kChunkSize);
    if (store) fillFactoryPresets();
    programsAreChunks(true);
}

CPresetSystemEffect::~CPresetSystemEffect() = default;

void CPresetSystemEffect::fillFactoryPresets() {
    if (!store || !factory) return;
    for (int p = 0; p < kNumPrograms; ++p) {
        store->setName(p, kFactoryProgramNames[p]);
        for (int i = 0; i < kNumProgramParams; ++i)
            store->setValue(p, i, static_cast<float>(factory[p].values[i]));
    }
}

void CPresetSystemEffect::selectProgram(int i) {
    if (!store || i < 0 || i >= kNumPrograms) return;
    programLoading.store(true, std::memory_order_relaxed);
    curProgram = 0;
    currentProgram.store(i, std::memory_order_relaxed);
    for (int p = 0; p < kNumProgramParams; ++p) setParameter(p, store->value(i, p));
    updateDisplay();
    programLoading.store(false, std::memory_order_relaxed);
}

void CPresetSystemEffect::renameCurrentProgram(const char* name) {
    curProgram = 0;
    if (name && store) store->setName(getCurrentProgramIndex(), name);
    updateDisplay();
}

void CPresetSystemEffect::loadStoredDefaults() {
    if (CEditorNotices* e = editorNotices()) e->loadStoredDefaults();
}

void CPresetSystemEffect::setProgramName(char* name) {
    if (!store) return;
    char text[kProgramNameSize + 1] = {};
    std::strncpy(text, name, kProgramNameSize);
    store->setName(getCurrentProgramIndex(), text);
    if (CEditorNotices* e = editorNotices()) e->showProgramName();
}

void CPresetSystemEffect::getProgramName(char* name) {
    if (!store) {
        name[0] = 0;
        return;
    }
    store->getName(getCurrentProgramIndex(), name);
}

bool CPresetSystemEffect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (!store || index < 0 || index >= kNumPrograms) return false;
    store->getName(index, text);
    return true;
}

void CPresetSystemEffect::setParameter(VstInt32 index, float value) {
    if (store && index >= 0 && index < kNumProgramParams)
        store->setValue(getCurrentProgramIndex(), index, value);
}

void CPresetSystemEffect::recordParameter(VstInt32 index, float value) {
    if (isProgramLoading()) return;
    CPresetSystemEffect::setParameter(index, value);
    if (index == 0 && store)
        for (int p = 0; p < kNumPrograms; ++p) store->setValue(p, 0, value);
}

namespace {

constexpr int kHeaderSize = 32;
constexpr int kRecordSize = static_cast<int>(sizeof(ProgramRecord));

std::uint32_t readWord(const unsigned char* at) {
    std::uint32_t w;
    std::memcpy(&w, at, 4);
    return w;
}

void writeWord(unsigned char* at, std::uint32_t w) {
    std::memcpy(at, &w, 4);
}

}  // namespace

void CPresetSystemEffect::writeChunkImage(unsigned char* b, std::uint32_t pluginId,
                                          int currentProgram, const ProgramRecord* records) {
    std::memset(b, 0, kChunkSize);
    writeWord(b + 0, kChunkFormat);
    writeWord(b + 4, pluginId);
    writeWord(b + 8, kNumPrograms);
    writeWord(b + 12, static_cast<std::uint32_t>(currentProgram));
    for (int p = 0; p < kNumPrograms; ++p)
        std::memcpy(b + kHeaderSize + p * kRecordSize, &records[p], kRecordSize);
}

VstInt32 CPresetSystemEffect::getChunk(void** data, bool) {
    if (!chunk || !store) return 0;
    ProgramRecord records[kNumPrograms];
    for (int p = 0; p < kNumPrograms; ++p) records[p] = store->record(p);
    writeChunkImage(chunk.get(), static_cast<std::uint32_t>(getPluginUniqueId()),
                    getCurrentProgramIndex(), records);
    *data = chunk.get();
    return kChunkSize;
}

VstInt32 CPresetSystemEffect::setChunk(void* data, VstInt32 byteSize, bool) {
    if (!chunk || !store || !data || byteSize != kChunkSize) return -1;
    unsigned char* b = chunk.get();
    // The host's block may be the very buffer getChunk handed out: memmove copes with that.
    std::memmove(b, data, kChunkSize);

    const std::uint32_t id = static_cast<std::uint32_t>(getPluginUniqueId());
    const std::uint32_t storedId = readWord(b + 4);
    if (storedId != id) {
        if (storedId != byteSwapped32(id)) return -1;
        // Written on a machine of the other byte order: every word but the names is reversed.
        byteSwap32(b + 0);
        for (int offset = 8; offset < kHeaderSize; offset += 4) byteSwap32(b + offset);
        for (int p = 0; p < kNumPrograms; ++p) {
            unsigned char* values = b + kHeaderSize + p * kRecordSize + kProgramNameSize;
            for (int i = 0; i < kNumProgramParams; ++i) byteSwap32(values + 4 * i);
        }
    }
    if (readWord(b + 0) != kChunkFormat) return 0;  // another format: skipped, nothing changes
    if (readWord(b + 8) != kNumPrograms) return -1;

    ProgramRecord records[kNumPrograms];
    for (int p = 0; p < kNumPrograms; ++p) {
        std::memcpy(&records[p], b + kHeaderSize + p * kRecordSize, kRecordSize);
        if (!recordValuesFinite(records[p])) return -1;  // damaged: refused, nothing changes
    }
    for (int p = 0; p < kNumPrograms; ++p) store->setRecord(p, records[p]);
    const std::int32_t current = static_cast<std::int32_t>(readWord(b + 12));
    if (current >= 0 && current < kNumPrograms) selectProgram(current);
    // An open editor's preset bar follows the new names and current program.
    if (CEditorNotices* e = editorNotices()) {
        e->showProgramList();
        e->showProgramName();
    }
    return 0;
}
