// File loading: the input is written to a file, which is then read as a preset and as a bank,
// with and without the extra reversal, by the tools' readers (readPresetFile, readBankFile) and
// by the editor's loaders (loadPresetFile, loadBankFile). A refusal leaves the caller's records
// and the effect's programs untouched; an accepted file yields normalised values only.
#include <cstdint>
#include <memory>

#include "tests/fuzz/FuzzSupport.h"
#include "tinypress/TinyPress.h"

namespace {

struct Setup {
    std::unique_ptr<AudioEffect> tiny;
    std::string file;
};

Setup& setup() {
    static Setup s = [] {
        Setup made;
        made.file = fuzz::privateConfigHome() + "/input.qrx";
        made.tiny.reset(new tinypress::TinyPress(fuzz::quietHost, &GrandPressEditor::create));
        return made;
    }();
    return s;
}

// A pattern no loader writes: a refused read must leave it in place.
ProgramRecord untouchedRecord() {
    ProgramRecord r;
    std::memset(&r, 0xA5, sizeof r);
    return r;
}

bool isUntouched(const ProgramRecord& r) {
    const ProgramRecord u = untouchedRecord();
    return std::memcmp(&r, &u, sizeof r) == 0;
}

bool normalised(const ProgramRecord& r) {
    for (float v : r.values)
        if (!(v >= 0.0f && v <= 1.0f)) return false;
    return true;
}

void readers(const std::string& path, std::uint32_t id, std::size_t size) {
    for (const bool reversed : {false, true}) {
        ProgramRecord preset = untouchedRecord();
        const FileOutcome p = readPresetFile(path, id, reversed, preset);
        if (p.ok()) {
            FUZZ_CHECK(size == kPresetImageSize, "a preset file of the wrong size was read");
            FUZZ_CHECK(normalised(preset), "a preset file read gives a value outside 0..1");
        } else {
            FUZZ_CHECK(isUntouched(preset), "a refused preset file changed the record");
            FUZZ_CHECK(!p.reason.empty(), "a refusal without a reason");
        }

        ProgramRecord bank[kNumPrograms];
        for (ProgramRecord& r : bank) r = untouchedRecord();
        const FileOutcome b = readBankFile(path, id, reversed, bank);
        if (b.ok()) {
            FUZZ_CHECK(size == kBankImageSize, "a bank file of the wrong size was read");
            for (const ProgramRecord& r : bank)
                FUZZ_CHECK(normalised(r), "a bank file read gives a value outside 0..1");
        } else {
            for (const ProgramRecord& r : bank)
                FUZZ_CHECK(isUntouched(r), "a refused bank file changed the records");
            FUZZ_CHECK(!b.reason.empty(), "a refusal without a reason");
        }
    }
}

void editorLoaders(AudioEffect& effect, const std::string& path, std::size_t size) {
    auto& fx = static_cast<CPresetSystemEffect&>(effect);
    CPresetSystemEditor* editor = fuzz::presetEditorOf(effect);
    FUZZ_CHECK(editor != nullptr, "engine without preset editor");
    const std::string folder = editor->currentDirectoryText();
    for (const bool reversed : {false, true}) {
        const fuzz::EffectState before = fuzz::snapshot(fx);
        const FileOutcome p = editor->loadPresetFile(path, reversed, RememberPath::No);
        fuzz::checkSound(fx, "after loadPresetFile");
        if (!p.ok()) FUZZ_CHECK(fuzz::snapshot(fx) == before, "a refused preset file changed it");

        const fuzz::EffectState beforeBank = fuzz::snapshot(fx);
        const FileOutcome b = editor->loadBankFile(path, reversed, RememberPath::No);
        const fuzz::EffectState afterBank = fuzz::snapshot(fx);
        fuzz::checkSound(fx, "after loadBankFile");
        if (!b.ok()) {
            FUZZ_CHECK(afterBank.sameRecords(beforeBank), "a refused bank file changed programs");
            // Only a file that reached the image loader makes program 0 current.
            if (size != kBankImageSize)
                FUZZ_CHECK(afterBank == beforeBank, "a bank file of the wrong size changed it");
        }
    }
    FUZZ_CHECK(folder == editor->currentDirectoryText(), "RememberPath::No changed the folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Setup& s = setup();
    fuzz::writeWholeFile(s.file, data, size);
    readers(s.file, static_cast<std::uint32_t>(s.tiny->getAeffect()->uniqueID), size);
    editorLoaders(*s.tiny, s.file, size);
    return 0;
}
