// The editor object of both plug-ins. The effect creates it at construction and owns it; the
// host opens, idles and closes its window through the dispatcher. The window itself (panels,
// controls, meters, preset bar) is built on the view toolkit; until that is in, open() answers
// false and the effect-to-editor calls only keep what later drawing needs.
// User-interface thread, and the effect's constructor, suspend and resume.
#pragma once

#include "presets/CPresetSystemEditor.h"

class CompressorEffect;

class GrandPressEditor : public CPresetSystemEditor {
public:
    static constexpr VstInt16 kPanelWidth = 450;

    GrandPressEditor(CompressorEffect* effect, VstInt16 panelHeight);

    bool getRect(ERect** rect) override;
    bool open(void* parentWindow) override;

    // The effect reports every parameter change here (host, program load, editor).
    virtual void setParameter(VstInt32 index, float value) {}
    // Puts both needle meters back to rest (the effect's suspend).
    virtual void resetMeters() {}
    // Refreshes the latency read-outs after the engine's resume.
    virtual void updateLatencyDisplays() {}

private:
    ERect rect;
};
