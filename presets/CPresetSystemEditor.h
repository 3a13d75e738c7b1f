// The preset system's side of the editor: what the effect asks of its editor object about
// programs (stored defaults at construction, the program name shown in the preset bar).
// User-interface thread (and the effect's constructor).
#pragma once

#include "shell/AEffEditor.h"

class CPresetSystemEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;

    // Loads the stored default bank, the default preset and the last folders, when present.
    virtual void loadStoredDefaults() {}
    // Shows the current program's name in the preset bar, when the window is open.
    virtual void showProgramName() {}
};
