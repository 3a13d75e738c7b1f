// The stored default bank and preset, memos A and B and the three path texts of
// CPresetSystemFiles, kept in the per-user store under kStoreKey (shared by both plug-ins: each
// image carries its plug-in's identifier, so one plug-in ignores the other's).
//
// Values: "DefaultBank" (BankImage), "DefaultPreset", "MemoA", "MemoB" (PresetImage), all
// binary; "CurrDir", "CurrBank", "CurrPreset" as strings. The 8-bit texts are UTF-8 (what Linux
// file names are) and stored as UTF-16 strings. Two instances share the values without locking;
// the last writer wins, and the store's atomic writes keep every value whole.
#include <cstring>
#include <vector>

#include "platform/UserStore.h"
#include "platform/Utf.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/CPresetSystemFiles.h"

namespace {

constexpr const char* kDefaultBank = "DefaultBank";
constexpr const char* kDefaultPreset = "DefaultPreset";
constexpr const char* kCurrDir = "CurrDir";
constexpr const char* kCurrBank = "CurrBank";
constexpr const char* kCurrPreset = "CurrPreset";

const char* memoName(CPresetSystemFiles::Memo memo) {
    return memo == CPresetSystemFiles::Memo::A ? "MemoA" : "MemoB";
}

bool deleteStoredValue(const char* name) {
    auto key =
        platform::UserStoreKey::open(CPresetSystemFiles::kStoreKey, platform::StoreAccess::Write);
    return key && key->deleteValue(name);
}

// A stored text that does not fit its 257-byte buffer is dropped rather than cut: a cut folder
// names a different folder.
void storedTextToBuffer(const std::u16string& stored, char* text) {
    const std::string utf8 = platform::toUtf8(stored);
    if (utf8.size() >= kPathTextSize || utf8.find('\0') != std::string::npos) {
        text[0] = 0;
        return;
    }
    std::memcpy(text, utf8.c_str(), utf8.size() + 1);
}

}  // namespace

bool CPresetSystemFiles::storeImage(const char* valueName, bool bank) {
    CPresetSystemEffect* e = presetEffect();
    if (!e || !e->programStore()) return false;
    std::vector<std::uint8_t> image(bank ? kBankImageSize : kPresetImageSize, 0);
    if (bank)
        makeBankImage(image.data());
    else
        makePresetImage(image.data());
    auto key = platform::UserStoreKey::create(kStoreKey, platform::StoreAccess::Write);
    return key && key->setBinary(valueName, image.data(), image.size());
}

FileStatus CPresetSystemFiles::loadStoredImage(const char* valueName, bool bank) {
    const std::size_t size = bank ? kBankImageSize : kPresetImageSize;
    std::vector<std::uint8_t> image(size, 0);
    auto key = platform::UserStoreKey::open(kStoreKey, platform::StoreAccess::Query);
    std::size_t storedSize = 0;
    // Only a value of exactly the image size is an image of ours. When there is none the loader
    // is not called: a preset load would refuse the empty image anyway, and the bank loader's
    // selecting program 0 is redundant where this runs (the effect's constructor selects it next).
    if (!key || !key->queryBinary(valueName, image.data(), size, &storedSize) || storedSize != size)
        return FileStatus::NotStored;
    return bank ? loadBankImage(image.data(), false) : loadPresetImage(image.data(), false);
}

bool CPresetSystemFiles::storeDefaultBank() {
    return storeImage(kDefaultBank, true);
}
bool CPresetSystemFiles::clearDefaultBank() {
    return deleteStoredValue(kDefaultBank);
}
bool CPresetSystemFiles::storeDefaultPreset() {
    return storeImage(kDefaultPreset, false);
}
bool CPresetSystemFiles::clearDefaultPreset() {
    return deleteStoredValue(kDefaultPreset);
}
bool CPresetSystemFiles::storeMemo(Memo memo) {
    return storeImage(memoName(memo), false);
}
FileStatus CPresetSystemFiles::recallMemo(Memo memo) {
    return loadStoredImage(memoName(memo), false);
}

void CPresetSystemFiles::loadStoredDefaults() {
    loadStoredImage(kDefaultBank, true);  // program 0 is current afterwards in any case
    loadStoredImage(kDefaultPreset, false);
    readStoredTexts();
}

void CPresetSystemFiles::readStoredTexts() {
    std::u16string texts[3];
    if (auto key = platform::UserStoreKey::open(kStoreKey, platform::StoreAccess::Query)) {
        key->queryString(kCurrDir, texts[0]);
        key->queryString(kCurrBank, texts[1]);
        key->queryString(kCurrPreset, texts[2]);
    }
    // A missing key or value empties the text (the process directory included).
    storedTextToBuffer(texts[0], currentDirectory);
    storedTextToBuffer(texts[1], currentBankFile);
    storedTextToBuffer(texts[2], currentPresetFile);
}

void CPresetSystemFiles::writeStoredTexts() {
    auto key = platform::UserStoreKey::create(kStoreKey, platform::StoreAccess::Write);
    if (!key) return;
    key->setString(kCurrDir, platform::toUtf16(currentDirectory));
    key->setString(kCurrBank, platform::toUtf16(currentBankFile));
    key->setString(kCurrPreset, platform::toUtf16(currentPresetFile));
}
