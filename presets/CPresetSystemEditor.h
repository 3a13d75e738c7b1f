// The preset system's side of the editor object of both plug-ins: the byte images of the current
// program and of the bank, preset and bank files, the stored defaults and memos in the per-user
// store, and the three path texts (last folder, bank file, preset file).
//
// Threads: user-interface thread (the preset bar, the host's editor calls) and the effect's
// constructor and destructor. Nothing here is called from audio processing: file and store
// access make system calls and allocate.
#pragma once

#include <cstdint>
#include <string>

#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "presets/PresetFiles.h"
#include "presets/PresetImage.h"

class CPresetSystemEffect;

namespace qgui {
class CFrame;
class CTextEdit;
class COptionMenu;
}  // namespace qgui

class CPSKickButton;
class CSaveLoadButton;
class CPSRockerSwitch;

// Also the listener of the preset bar's controls: the engine editors pass every control change
// to valueChanged first, which handles the bar's tags and ignores all others.
class CPresetSystemEditor : public AEffGUIEditor, public qgui::CControlListener {
  public:
    // Listener tags of the preset bar's controls (the engine panels use tags below 59).
    enum PresetBarTag : int32_t {
        kTagProgramName = 59,
        kTagProgramStep = 60,
        kTagLoadBank = 61,
        kTagSaveBank = 62,
        kTagLoadPreset = 63,
        kTagSavePreset = 64,
        kTagProgramMenu = 71,
        kTagDefaultBank = 72,
        kTagDefaultPreset = 73,
        kTagStoreMemoA = 74,
        kTagStoreMemoB = 75,
        kTagRecallMemoA = 76,
        kTagRecallMemoB = 77,
    };
    // Top of the preset bar in each plug-in's frame (pixels).
    static constexpr int kGrandPressBarTop = 444;
    static constexpr int kTinyPressBarTop = 362;
    // Period of the idle timer that keeps meters and redraws going without the host's idle.
    static constexpr uint32_t kIdleTimerMs = 50;

    // The per-user store key shared by both plug-ins of the family.
    static constexpr const char* kStoreKey = "SOFTWARE\\QRX-soundwerk\\QRX_GrandPress";

    enum class Memo { A, B };

    // Attaches to `effect` (which owns the editor from then on). The folder text starts as the
    // process's current directory; loadStoredDefaults replaces it.
    explicit CPresetSystemEditor(AudioEffect* effect);
    // Writes "CurrDir", "CurrBank" and "CurrPreset" to the store.
    ~CPresetSystemEditor() override;

    // Loads the stored default bank, then the default preset into program 0, then the three path
    // texts. Called once, from the effect's constructor, before it selects program 0.
    virtual void loadStoredDefaults();
    // Shows the current program's name in the preset bar's name field and as the title of the
    // program menu's entry of the current program (made the menu's current entry), for each of
    // them that exists. Called after every change of the current program's name.
    virtual void showProgramName();
    // Re-titles the program menu's sixteen entries from the program store and makes the current
    // program's entry current, when the bar exists (bank loads, the host's state chunk).
    virtual void showProgramList();

    // Drops the preset bar (removePresetBar) and forgets the host's window. Engine editors call
    // it first in their close(), then release their frame.
    void close() override;
    // Reacts to the preset bar's controls (tags 59..77 above); every other tag is ignored.
    // Load and save run the modal file dialog (CNewFileSelector) inside this call.
    void valueChanged(qgui::CControl* control) override;

    // The preset bar's control with listener tag `tag`, null when the bar is not built.
    qgui::CControl* presetBarControl(int32_t tag) const;

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
    // The effect as the preset system's effect; null when the editor has no such effect.
    CPresetSystemEffect* presetEffect() const;

    // Open step 7: builds the preset bar into `frame` with its top at `barTop` (pixels; 444 in
    // grandpress, 362 in tinypress) and starts the 50 ms idle timer on the frame. The frame's
    // background bitmap shows through the name field and the menu. False (and nothing added)
    // without a frame or an effect. Engine editors call it after building their panel.
    bool addPresetBar(qgui::CFrame* frame, int barTop);
    // Stops the idle timer and forgets the bar's controls (the frame owns and destroys them).
    // Safe to call when no bar exists; close() calls it.
    void removePresetBar();
    // Id of the running idle timer on the bar's frame, 0 when there is none.
    uint32_t idleTimerId() const { return idleTimer; }

  private:
    FileOutcome loadFile(const std::string& path, bool reversed, RememberPath remember, bool bank);
    FileOutcome saveFile(const std::string& path, RememberPath remember, bool bank);
    bool storeImage(const char* valueName, bool bank);
    FileStatus loadStoredImage(const char* valueName, bool bank);
    void readStoredTexts();
    void writeStoredTexts();

    // Preset bar actions.
    void stepProgram(float direction);
    void chooseProgram(float menuValue);
    void commitProgramName();
    void runLoadDialog(bool bank, bool reversed);
    void runSaveDialog(bool bank);

    // The preset bar while the window is open: the frame (one reference held, so the views
    // outlive a close in the wrong order) and plain pointers to its controls, which the frame
    // owns. All null while closed.
    qgui::CFrame* barFrame = nullptr;
    uint32_t idleTimer = 0;
    qgui::CTextEdit* nameField = nullptr;
    qgui::COptionMenu* programMenu = nullptr;
    CPSRockerSwitch* rocker = nullptr;
    CSaveLoadButton* loadBankButton = nullptr;
    CSaveLoadButton* saveBankButton = nullptr;
    CSaveLoadButton* loadPresetButton = nullptr;
    CSaveLoadButton* savePresetButton = nullptr;
    CPSKickButton* defaultBankButton = nullptr;
    CPSKickButton* defaultPresetButton = nullptr;
    CPSKickButton* memoButtons[4] = {};  // store A, store B, recall A, recall B (tags 74..77)

    char currentDirectory[kPathTextSize] = {};
    char currentBankFile[kPathTextSize] = {};
    char currentPresetFile[kPathTextSize] = {};
};
