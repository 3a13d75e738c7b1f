#include "gui/AEffGUIEditor.h"

#include "shell/AudioEffect.h"

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() {
    if (frame) frame->forget();
    frame = nullptr;
}

bool AEffGUIEditor::open(void* parentWindow) {
    AEffEditor::open(parentWindow);
    return true;
}

void AEffGUIEditor::close() {
    AEffEditor::close();
}

void AEffGUIEditor::idle() {
    if (inIdle || !frame) return;
    inIdle = true;
    qgui::CFrame* f = frame;
    f->remember();  // a handler may close the editor
    f->idle();
    f->forget();
    inIdle = false;
}

bool AEffGUIEditor::getRect(ERect** r) {
    *r = &rect;
    return true;
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
    return frame && frame->onKeyDown(keyCode) == 1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
    return frame && frame->onKeyUp(keyCode) == 1;
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    knobMode = mode;
    return true;
}

bool AEffGUIEditor::isHostParameter(VstInt32 index) const {
    return effect && index >= 0 && index < effect->getAeffect()->numParams;
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (isHostParameter(index)) effect->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (isHostParameter(index)) effect->endEdit(index);
}
