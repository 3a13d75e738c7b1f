// The preset system's side of the editor object of both plug-ins, without any view: the byte
// images of the current program and of the bank, preset and bank files, the stored defaults and
// memos in the per-user store, and the three path texts (last folder, bank file, preset file).
// CPresetSystemEditor adds the preset bar on top; the effect reaches either only through
// CEditorNotices.
//
// Threads: user-interface thread (the preset bar, the host's editor calls) and the effect's
// constructor and destructor. Nothing here is called from audio processing: file and store
// access make system calls and allocate.
#pragma once

#include <cstdint>
#include <string>

#include "presets/CEditorNotices.h"
#include "presets/PresetFiles.h"
#include "presets/PresetImage.h"

class CPresetSystemEffect;

class CPresetSystemFiles : public CEditorNotices {
  public:
    // The per-user store key shared by both plug-ins of the family.
    static constexpr const char* kStoreKey = "SOFTWARE\\QRX-soundwerk\\QRX_GrandPress";

    enum class Memo { A, B };

    // Works on `effect`'s program store (null: every operation refuses). The folder text starts
    // as the process's current directory; loadStoredDefaults replaces it.
    explicit CPresetSystemFiles(CPresetSystemEffect* effect);
    // Writes "CurrDir", "CurrBank" and "CurrPreset" to the store.
    virtual ~CPresetSystemFiles();

    // Loads the stored default bank, then the default preset into program 0, then the three path
    // texts. Called once, from the effect's constructor, before it selects program 0.
    void loadStoredDefaults() override;
    // Shown by the preset bar of a derived editor; nothing to show here.
    void showProgramName() override {}
    void showProgramList() override {}
    // The notices of the engine's panel, which a derived editor shows.
    void setParameter(VstInt32 index, float value) override {}
    void resetMeters() override {}
    void updateLatencyDisplays() override {}

    // --- Byte images (the effect's program store; PresetImage.h has the layout) ---

    // Loads a 2565-byte BankImage into all sixteen programs. Program 0 is selected first in any
    // case, and again after a successful load. `reversed` reverses every value word once more on
    // top of the automatic reversal of an image from the other byte order.
    virtual FileStatus loadBankImage(const std::uint8_t* image, bool reversed);
    // Writes the BankImage of the sixteen programs (native order) into 2565 bytes.
    virtual void makeBankImage(std::uint8_t* image);
    // Loads a 165-byte PresetImage into the current program, renames it (the host is asked to
    // update its display) and selects it again so engine and controls take the values.
    virtual FileStatus loadPresetImage(const std::uint8_t* image, bool reversed);
    // Writes the PresetImage of the current program (native order) into 165 bytes.
    virtual void makePresetImage(std::uint8_t* image);

    // --- Files: what the preset bar calls with the path its dialog returned ---
    // A relative path is taken from the process's current directory. With RememberPath::Yes the
    // folder and file name become the path texts once the path fits them, even if the file then
    // fails. A file refused for its path, opening or size changes nothing; a bank file of the
    // other plug-in (or of the wrong type) still selects program 0, as loadBankImage does.

    FileOutcome loadPresetFile(const std::string& path, bool reversed,
                               RememberPath remember = RememberPath::Yes);
    FileOutcome savePresetFile(const std::string& path, RememberPath remember = RememberPath::Yes);
    FileOutcome loadBankFile(const std::string& path, bool reversed,
                             RememberPath remember = RememberPath::Yes);
    FileOutcome saveBankFile(const std::string& path, RememberPath remember = RememberPath::Yes);

    // The texts the dialogs start from: the folder (ending in '/', or the process directory
    // without one before the store was read), and the last bank and preset file names.
    const char* currentDirectoryText() const { return currentDirectory; }
    const char* currentBankFileText() const { return currentBankFile; }
    const char* currentPresetFileText() const { return currentPresetFile; }

    // --- Stored defaults and memos (per-user store, key kStoreKey) ---
    // Store failures are silent in the preset bar; the results only say whether it worked.

    bool storeDefaultBank();
    bool clearDefaultBank();
    bool storeDefaultPreset();
    bool clearDefaultPreset();
    bool storeMemo(Memo memo);
    // Loads the memo into the current program and selects it; a memo never stored changes
    // nothing. The stored memo itself is not changed.
    FileStatus recallMemo(Memo memo);

  protected:
    // The effect as the preset system's effect; null when there is none.
    CPresetSystemEffect* presetEffect() const { return presetSystem; }

    char currentDirectory[kPathTextSize] = {};
    char currentBankFile[kPathTextSize] = {};
    char currentPresetFile[kPathTextSize] = {};

  private:
    FileOutcome loadFile(const std::string& path, bool reversed, RememberPath remember, bool bank);
    FileOutcome saveFile(const std::string& path, RememberPath remember, bool bank);
    bool storeImage(const char* valueName, bool bank);
    FileStatus loadStoredImage(const char* valueName, bool bank);
    void readStoredTexts();
    void writeStoredTexts();

    CPresetSystemEffect* presetSystem;
};
