#include "presets/CPresetSystemEditor.h"

#include "presets/CPresetSystemEffect.h"

CPresetSystemEditor::CPresetSystemEditor(AudioEffect* effect)
    : AEffGUIEditor(effect), CPresetSystemFiles(dynamic_cast<CPresetSystemEffect*>(effect)) {}

CPresetSystemEditor::~CPresetSystemEditor() {
    removePresetBar();
}
