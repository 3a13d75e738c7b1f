#include "shell/AEffEditor.h"

#include "shell/AudioEffect.h"

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect) {
    if (effect) effect->setEditor(this);
}

AEffEditor::~AEffEditor() = default;

bool AEffEditor::getRect(ERect** rect) {
    *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* parentWindow) {
    systemWindow = parentWindow;
    return false;
}

void AEffEditor::close() {
    systemWindow = nullptr;
}
