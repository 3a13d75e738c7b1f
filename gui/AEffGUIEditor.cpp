#include "gui/AEffGUIEditor.h"

#include <cmath>

#include "gui/ScaleFactor.h"
#include "shell/AudioEffectX.h"

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
    if (!frame) applyScaleFactor();  // the size it will open at
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

void AEffGUIEditor::setDesignSize(VstInt16 width, VstInt16 height) {
    designWidth = width;
    designHeight = height;
    rect = ERect{0, 0, height, width};
}

bool AEffGUIEditor::setHostScaleFactor(float factor) {
    hostScale = std::isfinite(factor) && factor > 0 ? factor : 0;
    applyScaleFactor();
    return true;
}

void AEffGUIEditor::setUserZoom(double zoom) {
    userZoom = std::isfinite(zoom) && zoom > 0 ? zoom : 0;
    applyScaleFactor();
}

void AEffGUIEditor::setSystemScaleSource(SystemScaleSource source) {
    systemSource = source;
    systemScaleKnown = false;
}

void AEffGUIEditor::refreshSystemScale(std::uintptr_t window) {
    systemScale = systemSource ? systemSource(window) : qgui::scale::systemFactor(window);
    systemScaleKnown = true;
}

void AEffGUIEditor::systemScaleChanged() {
    refreshSystemScale(reinterpret_cast<std::uintptr_t>(systemWindow));
    applyScaleFactor();
}

double AEffGUIEditor::chosenScale() {
    // Asked before the window exists: the display's default.
    if (!systemScaleKnown && !userZoom && !hostScale) refreshSystemScale(0);
    return qgui::scale::choose(userZoom, hostScale, systemScale);
}

double AEffGUIEditor::automaticScale() {
    if (!systemScaleKnown && !hostScale) refreshSystemScale(0);
    return qgui::scale::choose(0, hostScale, systemScale);
}

double AEffGUIEditor::getScaleFactor() {
    return frame ? frame->getScaleFactor() : chosenScale();
}

void AEffGUIEditor::applyScaleFactor() {
    const double scale = chosenScale();
    rect = ERect{0, 0, static_cast<VstInt16>(std::ceil(designHeight * scale - 1e-6)),
                 static_cast<VstInt16>(std::ceil(designWidth * scale - 1e-6))};
    if (!frame || frame->getScaleFactor() == scale) return;
    if (!frame->setScaleFactor(scale)) {
        rect = ERect{0, 0, static_cast<VstInt16>(frame->getDeviceHeight()),
                     static_cast<VstInt16>(frame->getDeviceWidth())};
        return;
    }
    // A host that refuses keeps its window; ours has the new size inside it all the same.
    if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->sizeWindow(rect.right, rect.bottom);
}
