// The per-user store reader. The first input byte picks one value file (a meter setting, a
// stored default or memo image, a path text, or a value of the unexpected type); the rest of the
// input becomes that file's bytes in an otherwise empty store. Then:
//  - UserStoreKey::queryBinary / queryString at several capacities: they answer exactly what is
//    on disk or refuse with the caller's buffer untouched;
//  - meter_settings::read answers the stored float only for a 4-byte value, else the default;
//  - a fresh engine reads it all while it is constructed (meter settings, default bank and
//    preset, path texts): only a sound image changes its programs, every value stays in 0..1
//    and the path texts stay terminated; memo recall refuses without changing anything.
#include <cstdint>
#include <filesystem>
#include <memory>

#include "editor/MeterSettingsStore.h"
#include "grandpress/GrandPress.h"
#include "platform/UserStore.h"
#include "platform/Utf.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tinypress/TinyPress.h"

namespace {

constexpr const char* kMeterKey = "AmberGlowTube20";
constexpr const char* kPresetKey = "QRX_GrandPress";

struct Value {
    const char* key;  // folder below the store root
    const char* name;
    bool binary;
};

constexpr Value kValues[] = {
    {kMeterKey, "vuintegration", true},   {kMeterKey, "vureference", true},
    {kMeterKey, "ppmintegration", true},  {kMeterKey, "ppmreturn", true},
    {kMeterKey, "overcounter", true},     {kPresetKey, "DefaultBank", true},
    {kPresetKey, "DefaultPreset", true},  {kPresetKey, "MemoA", true},
    {kPresetKey, "MemoB", true},          {kPresetKey, "CurrDir", false},
    {kPresetKey, "CurrBank", false},      {kPresetKey, "CurrPreset", false},
    {kPresetKey, "DefaultPreset", false}, {kMeterKey, "vuintegration", false},
    {kPresetKey, "CurrDir", true},  // a name that is not UTF-8, as its bytes
};
constexpr int kValueCount = sizeof kValues / sizeof kValues[0];
constexpr float kMeterDefaults[] = {0.5f, 0.41f, 0.5f, 0.5f, 0.2222222f};

std::string storeRoot() {
    return fuzz::privateConfigHome() + "/QRX-soundwerk";
}

std::string keyPath(const char* key) {
    return std::string("SOFTWARE\\QRX-soundwerk\\") + key;
}

// The programs an engine has when the store holds nothing, per engine kind.
struct References {
    fuzz::EffectState grand, tiny;
};

AudioEffect* makeEngine(bool grand) {
    if (grand) return new grandpress::GrandPress(fuzz::quietHost, &GrandPressEditor::create);
    return new tinypress::TinyPress(fuzz::quietHost, &GrandPressEditor::create);
}

void emptyStore() {
    std::error_code ignored;
    std::filesystem::remove_all(storeRoot(), ignored);
    std::filesystem::create_directories(storeRoot() + "/" + kMeterKey);
    std::filesystem::create_directories(storeRoot() + "/" + kPresetKey);
}

const References& references() {
    static const References r = [] {
        emptyStore();
        References made;
        std::unique_ptr<AudioEffect> g(makeEngine(true)), t(makeEngine(false));
        made.grand = fuzz::snapshot(static_cast<CPresetSystemEffect&>(*g));
        made.tiny = fuzz::snapshot(static_cast<CPresetSystemEffect&>(*t));
        return made;
    }();
    return r;
}

void rawReader(const Value& v, const std::uint8_t* bytes, std::size_t size) {
    auto key = platform::UserStoreKey::open(keyPath(v.key), platform::StoreAccess::Query);
    FUZZ_CHECK(key != nullptr, "the key of a stored value does not open");
    const std::size_t capacities[] = {0, size ? size - 1 : 0, size, size + 1};
    for (const std::size_t capacity : capacities) {
        std::vector<std::uint8_t> buffer(capacity + 1, 0x5A);
        std::size_t reported = 12345;
        const bool ok = key->queryBinary(v.name, buffer.data(), capacity, &reported);
        if (v.binary) {
            FUZZ_CHECK(reported == size, "queryBinary reports another size than stored");
            FUZZ_CHECK(ok == (size <= capacity), "queryBinary accepts or refuses wrongly");
        } else {
            FUZZ_CHECK(!ok && reported == 12345, "queryBinary answers for a string value");
        }
        if (ok) {
            FUZZ_CHECK(size == 0 || std::memcmp(buffer.data(), bytes, size) == 0,
                       "queryBinary returns other bytes than stored");
            FUZZ_CHECK(buffer[size] == 0x5A, "queryBinary wrote beyond the value");
        } else {
            for (std::uint8_t b : buffer) FUZZ_CHECK(b == 0x5A, "a refused query wrote the buffer");
        }
    }
    std::u16string text = u"untouched";
    // One byte short of the stored text: absent, and the text untouched.
    if (!v.binary && size > 0)
        FUZZ_CHECK(!key->queryString(v.name, text, size - 1) && text == u"untouched",
                   "queryString answers with a text longer than its limit");
    const bool ok = key->queryString(v.name, text, size);
    if (!v.binary && ok) {
        std::string back;
        FUZZ_CHECK(platform::tryToUtf8(text, back), "a stored text reads as ill-formed UTF-16");
        FUZZ_CHECK(back == std::string(reinterpret_cast<const char*>(bytes), size),
                   "a stored text does not read back as written");
    } else {
        FUZZ_CHECK(!ok && text == u"untouched", "a refused text query changed the text");
    }
}

void meterSettings(int selector, const std::uint8_t* bytes, std::size_t size) {
    for (int i = meter_settings::kFirstIndex; i <= meter_settings::kLastIndex; ++i) {
        const float read = meter_settings::read(i);
        float expected = kMeterDefaults[i - meter_settings::kFirstIndex];
        if (selector == i - meter_settings::kFirstIndex && size == sizeof(float))
            std::memcpy(&expected, bytes, sizeof expected);
        FUZZ_CHECK(std::memcmp(&read, &expected, sizeof read) == 0,
                   "meter_settings::read answers neither the stored value nor the default");
    }
}

bool terminated(const char* text) {
    return std::memchr(text, 0, kPathTextSize) != nullptr;
}

void engineReads(int selector, const std::uint8_t* bytes, std::size_t size, bool grand) {
    std::unique_ptr<AudioEffect> engine(makeEngine(grand));
    auto& fx = static_cast<CPresetSystemEffect&>(*engine);
    fuzz::checkSound(fx, "after construction");
    const fuzz::EffectState state = fuzz::snapshot(fx);
    const fuzz::EffectState& reference = grand ? references().grand : references().tiny;
    const Value& v = kValues[selector];
    const bool defaultImage = v.binary && (std::strcmp(v.name, "DefaultBank") == 0 ||
                                           std::strcmp(v.name, "DefaultPreset") == 0);
    const std::size_t imageSize =
        std::strcmp(v.name, "DefaultBank") == 0 ? kBankImageSize : kPresetImageSize;
    if (!defaultImage || size != imageSize)
        FUZZ_CHECK(state.sameRecords(reference), "programs changed without a stored default");

    CPresetSystemEditor* editor = fuzz::presetEditorOf(*engine);
    FUZZ_CHECK(editor != nullptr, "engine without preset editor");
    FUZZ_CHECK(terminated(editor->currentDirectoryText()) &&
                   terminated(editor->currentBankFileText()) &&
                   terminated(editor->currentPresetFileText()),
               "a path text read from the store is not terminated");
    if (std::strcmp(v.name, "CurrDir") == 0) {
        // The folder comes back byte for byte when it fits its text, else it is dropped.
        const std::string stored(reinterpret_cast<const char*>(bytes), size);
        std::u16string unused;
        const bool fits = stored.size() < kPathTextSize && stored.find('\0') == std::string::npos &&
                          (v.binary || platform::tryToUtf16(stored, unused));
        FUZZ_CHECK(editor->currentDirectoryText() == (fits ? stored : std::string()),
                   "the stored folder does not read back as written");
    }

    for (const auto memo : {CPresetSystemEditor::Memo::A, CPresetSystemEditor::Memo::B}) {
        const fuzz::EffectState before = fuzz::snapshot(fx);
        const FileStatus r = editor->recallMemo(memo);
        fuzz::checkSound(fx, "after recallMemo");
        if (r != FileStatus::Done)
            FUZZ_CHECK(fuzz::snapshot(fx) == before, "a refused memo changed the effect");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    references();
    const int selector = data[0] % kValueCount;
    const bool grand = (data[0] / kValueCount) & 1;
    const std::uint8_t* bytes = data + 1;
    const std::size_t length = size - 1;
    const Value& v = kValues[selector];

    emptyStore();
    fuzz::writeWholeFile(storeRoot() + "/" + v.key + "/" + v.name + (v.binary ? ".bin" : ".sz"),
                         bytes, length);
    rawReader(v, bytes, length);
    meterSettings(selector, bytes, length);
    engineReads(selector, bytes, length, grand);
    return 0;
}
