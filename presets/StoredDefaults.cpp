// The stored default bank and preset, memos A and B and the three path texts of
// CPresetSystemFiles, kept in the per-user store under kStoreKey (shared by both plug-ins: each
// image carries its plug-in's identifier, so one plug-in ignores the other's).
//
// Values: "DefaultBank" (BankImage), "DefaultPreset", "MemoA", "MemoB" (PresetImage), all
// binary; "CurrDir", "CurrBank", "CurrPreset" as strings. The 8-bit texts are file names, which
// on Linux are bytes, mostly UTF-8: a UTF-8 text is stored as a string, any other as a binary
// value holding its bytes unchanged, so every name reads back byte for byte. Two instances share
// the values without locking; the last writer wins, and the store's atomic writes keep every
// value whole.
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

// What a stored text may take up, as every query of the store is limited (257 UTF-16 characters
// with the terminator on the system the store imitates). Anything longer counts as absent.
constexpr std::size_t kStoredTextLimit = 514;

// Reads one path text into its 257-byte buffer: a string, or the bytes of a name that is not
// UTF-8. Missing, too long for the buffer (a cut folder names a different folder) or holding a
// null character: the text becomes empty.
void readStoredText(const platform::UserStoreKey* key, const char* name, char* text) {
    text[0] = 0;
    if (!key) return;
    std::string bytes;
    std::u16string stored;
    if (key->queryString(name, stored, kStoredTextLimit)) {
        bytes = platform::toUtf8(stored);
    } else {
        char raw[kPathTextSize - 1];
        std::size_t size = 0;
        if (!key->queryBinary(name, raw, sizeof raw, &size)) return;
        bytes.assign(raw, size);
    }
    if (bytes.size() >= kPathTextSize || bytes.find('\0') != std::string::npos) return;
    std::memcpy(text, bytes.c_str(), bytes.size() + 1);
}

void writeStoredText(platform::UserStoreKey& key, const char* name, const char* text) {
    std::u16string utf16;
    const std::string bytes = text;
    if (platform::tryToUtf16(bytes, utf16))
        key.setString(name, utf16);
    else
        key.setBinary(name, bytes.data(), bytes.size());
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
    // A missing key or value empties the text (the process directory included).
    const auto key = platform::UserStoreKey::open(kStoreKey, platform::StoreAccess::Query);
    readStoredText(key.get(), kCurrDir, currentDirectory);
    readStoredText(key.get(), kCurrBank, currentBankFile);
    readStoredText(key.get(), kCurrPreset, currentPresetFile);
}

void CPresetSystemFiles::writeStoredTexts() {
    auto key = platform::UserStoreKey::create(kStoreKey, platform::StoreAccess::Write);
    if (!key) return;
    writeStoredText(*key, kCurrDir, currentDirectory);
    writeStoredText(*key, kCurrBank, currentBankFile);
    writeStoredText(*key, kCurrPreset, currentPresetFile);
}
