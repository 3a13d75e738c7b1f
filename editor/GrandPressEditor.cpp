#include "editor/GrandPressEditor.h"

#include "editor/CompressorEffect.h"

GrandPressEditor::GrandPressEditor(CompressorEffect* effect, VstInt16 panelHeight)
    : CPresetSystemEditor(effect), rect{0, 0, panelHeight, kPanelWidth} {}

bool GrandPressEditor::getRect(ERect** r) {
    *r = &rect;
    return true;
}

bool GrandPressEditor::open(void* parentWindow) {
    // No window yet: the host is told the editor could not open.
    return false;
}
