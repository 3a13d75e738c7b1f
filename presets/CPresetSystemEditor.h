// The preset system's editor object of both plug-ins: the file, image and store operations of
// CPresetSystemFiles plus the preset bar along the bottom of the engine editor's frame.
//
// Threads: user-interface thread (the preset bar, the host's editor calls) and the effect's
// constructor and destructor. Nothing here is called from audio processing: file and store
// access make system calls and allocate.
#pragma once

#include <cstdint>
#include <string>

#include "gui/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "presets/CPresetSystemFiles.h"

namespace qgui {
class CBitmap;
class CFrame;
class CTextEdit;
class COptionMenu;
}  // namespace qgui

class CPSKickButton;
class CSaveLoadButton;
class ProgramStore;
class CPSRockerSwitch;

// Also the listener of the preset bar's controls: the engine editors pass every control change
// to valueChanged first, which handles the bar's tags and ignores all others.
class CPresetSystemEditor : public AEffGUIEditor,
                            public qgui::CControlListener,
                            public CPresetSystemFiles {
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
    // The program menu's entry after the sixteen programs when the editor has a zoom menu: it
    // opens that menu beside the bar.
    static constexpr const char* kZoomEntryTitle = "Zoom >";
    // Top of the preset bar in each plug-in's frame (pixels).
    static constexpr int kGrandPressBarTop = 444;
    static constexpr int kTinyPressBarTop = 362;
    // Period of the idle timer that keeps meters and redraws going without the host's idle.
    static constexpr uint32_t kIdleTimerMs = 50;

    // Attaches to `effect` (which owns the editor from then on).
    explicit CPresetSystemEditor(AudioEffect* effect);
    ~CPresetSystemEditor() override;

    // Shows the current program's name in the preset bar's name field and as the title of the
    // program menu's entry of the current program (made the menu's current entry), for each of
    // them that exists. Called after every change of the current program's name.
    void showProgramName() override;
    // Re-titles the program menu's sixteen entries from the program store and makes the current
    // program's entry current, when the bar exists (bank loads, the host's state chunk).
    void showProgramList() override;
    // The effect reports a parameter change (engine editors override).
    void setParameter(VstInt32 index, float value) override {}
    // The host's scale factor (AEffGUIEditor), also as the effect passes it on.
    bool setHostScaleFactor(float factor) override {
        return AEffGUIEditor::setHostScaleFactor(factor);
    }

    // Drops the preset bar (removePresetBar) and forgets the host's window. Engine editors call
    // it first in their close(), then release their frame.
    void close() override;
    // Reacts to the preset bar's controls (tags 59..77 above); every other tag is ignored.
    // Load and save run the modal file dialog (CNewFileSelector) inside this call.
    void valueChanged(qgui::CControl* control) override;

    // The preset bar's control with listener tag `tag`, null when the bar is not built.
    qgui::CControl* presetBarControl(int32_t tag) const;

  protected:
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
    // The parts of addPresetBar, added to barFrame in this order: the name field showing
    // `name`, the program menu, and the rocker and the bank, preset and memo buttons.
    void addNameField(qgui::CBitmap* panel, int barTop, const std::string& name);
    void addProgramMenu(qgui::CBitmap* panel, int barTop, ProgramStore* store, int current);
    void addBarButtons(int barTop);

    // Preset bar actions.
    void stepProgram(float direction);
    void chooseProgram(float menuValue);
    void chooseFromProgramMenu(float menuValue);
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
};
