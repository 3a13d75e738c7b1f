// The preset and bank image loaders of the editor (loadPresetImage, loadBankImage) on both
// plug-ins, with and without the extra reversal. The input is the image: cut or zero-padded to
// the image size, in a block of exactly that size. A refused preset changes nothing; a refused
// bank changes no program (it only makes program 0 current, as documented). An accepted preset
// changes the current program only; every accepted value is normalised.
#include <cstdint>
#include <memory>

#include "grandpress/GrandPress.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tinypress/TinyPress.h"

namespace {

struct Engines {
    std::unique_ptr<AudioEffect> grand, tiny;
};

Engines& engines() {
    static Engines e = [] {
        fuzz::privateConfigHome();
        Engines made;
        made.grand.reset(new grandpress::GrandPress(fuzz::quietHost, &GrandPressEditor::create));
        made.tiny.reset(new tinypress::TinyPress(fuzz::quietHost, &GrandPressEditor::create));
        return made;
    }();
    return e;
}

std::unique_ptr<std::uint8_t[]> imageOf(const std::uint8_t* data, std::size_t size,
                                        std::size_t imageSize) {
    std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[imageSize]());
    std::memcpy(image.get(), data, std::min(size, imageSize));
    return image;
}

bool programsEqualExcept(const fuzz::EffectState& a, const fuzz::EffectState& b, int program) {
    constexpr std::size_t kRecord = sizeof(ProgramRecord);
    for (int p = 0; p < kNumPrograms; ++p)
        if (p != program && std::memcmp(&a.records[p * kRecord], &b.records[p * kRecord], kRecord))
            return false;
    return true;
}

void runOn(AudioEffect& effect, const std::uint8_t* data, std::size_t size) {
    auto& fx = static_cast<CPresetSystemEffect&>(effect);
    CPresetSystemEditor* editor = fuzz::presetEditorOf(effect);
    FUZZ_CHECK(editor != nullptr, "engine without preset editor");

    for (const bool reversed : {false, true}) {
        auto preset = imageOf(data, size, kPresetImageSize);
        const fuzz::EffectState before = fuzz::snapshot(fx);
        const FileStatus p = editor->loadPresetImage(preset.get(), reversed);
        const fuzz::EffectState after = fuzz::snapshot(fx);
        fuzz::checkSound(fx, "after loadPresetImage");
        if (p != FileStatus::Done) {
            FUZZ_CHECK(after == before, "a refused preset image changed the effect");
        } else {
            FUZZ_CHECK(after.current == before.current, "a preset load changed the program");
            FUZZ_CHECK(programsEqualExcept(before, after, before.current),
                       "a preset load changed another program");
        }

        auto bank = imageOf(data, size, kBankImageSize);
        const fuzz::EffectState beforeBank = fuzz::snapshot(fx);
        const FileStatus b = editor->loadBankImage(bank.get(), reversed);
        const fuzz::EffectState afterBank = fuzz::snapshot(fx);
        fuzz::checkSound(fx, "after loadBankImage");
        FUZZ_CHECK(afterBank.current == 0, "a bank load left a program other than 0 current");
        if (b != FileStatus::Done)
            FUZZ_CHECK(afterBank.sameRecords(beforeBank), "a refused bank image changed programs");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Engines& e = engines();
    runOn(*e.grand, data, size);
    runOn(*e.tiny, data, size);
    return 0;
}
