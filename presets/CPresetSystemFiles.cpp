#include "presets/CPresetSystemFiles.h"

#include <unistd.h>

#include <cstring>

#include "presets/CPresetSystemEffect.h"

CPresetSystemFiles::CPresetSystemFiles(CPresetSystemEffect* effect) : presetSystem(effect) {
    // getcwd refuses (ERANGE) a directory that does not fit: the text then stays empty.
    if (!getcwd(currentDirectory, kPathTextSize)) currentDirectory[0] = 0;
}

CPresetSystemFiles::~CPresetSystemFiles() {
    writeStoredTexts();
}

namespace {

std::uint32_t pluginIdOf(CPresetSystemEffect& e) {
    return static_cast<std::uint32_t>(e.getPluginUniqueId());
}

FileStatus refusal(ImageCheck check) {
    return check == ImageCheck::WrongPlugin ? FileStatus::WrongPlugin : FileStatus::WrongType;
}

}  // namespace

FileStatus CPresetSystemFiles::loadBankImage(const std::uint8_t* image, bool reversed) {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    if (!store) return FileStatus::NoProgramStore;
    // Program 0 first, whatever the image holds: a refused bank still leaves program 0 current,
    // and the preset bar shows it.
    e->selectProgram(0);
    showProgramName();
    const ImageCheck check = checkImage(image, pluginIdOf(*e), kBankImageType);
    if (check != ImageCheck::Native && check != ImageCheck::Reversed) return refusal(check);
    const bool swap = (check == ImageCheck::Reversed) != reversed;
    ProgramRecord records[kNumPrograms];
    for (int k = 0; k < kNumPrograms; ++k) {
        records[k] = readImageRecord(image, k, swap);
        if (!recordValuesFinite(records[k])) return FileStatus::DamagedValues;
    }
    for (int k = 0; k < kNumPrograms; ++k) store->setRecord(k, records[k]);
    showProgramList();
    showProgramName();
    e->selectProgram(0);
    return FileStatus::Done;
}

void CPresetSystemFiles::makeBankImage(std::uint8_t* image) {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    ProgramRecord records[kNumPrograms] = {};
    if (store)
        for (int k = 0; k < kNumPrograms; ++k) records[k] = store->record(k);
    writeImage(image, e ? pluginIdOf(*e) : 0, kBankImageType, records, kNumPrograms);
}

FileStatus CPresetSystemFiles::loadPresetImage(const std::uint8_t* image, bool reversed) {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    if (!store) return FileStatus::NoProgramStore;
    const ImageCheck check = checkImage(image, pluginIdOf(*e), kPresetImageType);
    if (check != ImageCheck::Native && check != ImageCheck::Reversed) return refusal(check);
    const bool swap = (check == ImageCheck::Reversed) != reversed;
    const int current = e->getCurrentProgramIndex();
    const ProgramRecord record = readImageRecord(image, 0, swap);
    if (!recordValuesFinite(record)) return FileStatus::DamagedValues;
    store->setRecord(current, record);
    char name[kProgramNameSize + 1] = {};
    std::memcpy(name, record.name, kProgramNameSize);
    e->renameCurrentProgram(name);
    showProgramName();
    e->selectProgram(current);
    return FileStatus::Done;
}

void CPresetSystemFiles::makePresetImage(std::uint8_t* image) {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    ProgramRecord record = {};
    if (store) record = store->record(e->getCurrentProgramIndex());
    writeImage(image, e ? pluginIdOf(*e) : 0, kPresetImageType, &record, 1);
}
