// effSetChunk of both plug-ins: the host hands back a state chunk of any size and content. A
// chunk that is refused changes nothing (programs, current program, engine values, the chunk the
// host gets next); an accepted one leaves every value normalised, and reading it back and
// handing it in again changes no program.
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

std::vector<unsigned char> currentChunk(AEffect* fx) {
    void* data = nullptr;
    const VstIntPtr size = fx->dispatcher(fx, effGetChunk, 0, 0, &data, 0.0f);
    FUZZ_CHECK(size == CPresetSystemEffect::kChunkSize && data != nullptr,
               "getChunk does not hand out the 2592-byte chunk");
    const auto* bytes = static_cast<const unsigned char*>(data);
    return {bytes, bytes + size};
}

// Whether the chunk names this plug-in in either byte order: only such a chunk may change it.
bool namesPlugin(const std::uint8_t* data, std::size_t size, std::uint32_t id) {
    if (size != CPresetSystemEffect::kChunkSize) return false;
    std::uint32_t word;
    std::memcpy(&word, data + 4, 4);
    return word == id || word == byteSwapped32(id);
}

void runOn(AudioEffect& effect, const std::uint8_t* data, std::size_t size, bool isPreset) {
    auto& fx = static_cast<CPresetSystemEffect&>(effect);
    AEffect* a = effect.getAeffect();
    const fuzz::EffectState before = fuzz::snapshot(fx);
    const std::vector<unsigned char> chunkBefore = currentChunk(a);

    // The host's block, exactly as large as it says, so any read beyond it is caught.
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size ? size : 1]);
    if (size) std::memcpy(block.get(), data, size);
    const VstIntPtr result = a->dispatcher(a, effSetChunk, isPreset ? 1 : 0,
                                           static_cast<VstIntPtr>(size), block.get(), 0.0f);
    const fuzz::EffectState after = fuzz::snapshot(fx);
    fuzz::checkSound(fx, "after effSetChunk");

    const bool changed = !(after == before);
    if (result != 0) FUZZ_CHECK(!changed, "a refused chunk changed the effect");
    if (!namesPlugin(data, size, static_cast<std::uint32_t>(a->uniqueID)))
        FUZZ_CHECK(!changed, "a chunk of another size or plug-in changed the effect");
    if (!changed) FUZZ_CHECK(currentChunk(a) == chunkBefore, "the chunk changed on its own");

    // What the effect hands out now is a chunk it takes back without any change.
    std::vector<unsigned char> again = currentChunk(a);
    FUZZ_CHECK(a->dispatcher(a, effSetChunk, 0, static_cast<VstIntPtr>(again.size()), again.data(),
                             0.0f) == 0,
               "the effect refuses its own chunk");
    // (A chunk whose current program does not exist loads the programs without applying one;
    // the effect's own chunk names its current program, which is then applied.)
    const fuzz::EffectState own = fuzz::snapshot(fx);
    if (!own.sameRecords(after) || own.current != after.current)
        fuzz::describeDifference(after, own);
    FUZZ_CHECK(own.sameRecords(after) && own.current == after.current,
               "handing back the effect's own chunk changed its programs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Engines& e = engines();
    const bool isPreset = size > 0 && (data[size - 1] & 1);
    runOn(*e.grand, data, size, isPreset);
    runOn(*e.tiny, data, size, isPreset);
    return 0;
}
