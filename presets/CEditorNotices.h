// What an effect tells its editor object: the narrow interface through which the effect base and
// the engines reach the editor without knowing its class. The plug-in library's entry file gives
// the engine a factory that makes the editor; without one (engine tests, benchmarks, batch
// tools) the effect has no editor and sends no notices.
//
// Threads: loadStoredDefaults runs once, in the effect's constructor. showProgramName and
// showProgramList come from the user-interface thread (program changes, the host's chunk).
// setParameter, resetMeters and updateLatencyDisplays may come from any thread a host calls the
// effect on, the audio thread included: implementations must not block, allocate or touch views
// off the user-interface thread.
#pragma once

#include "shell/vst2.h"

class CEditorNotices {
  public:
    // Loads the stored default bank and program (the effect's constructor, before program 0).
    virtual void loadStoredDefaults() = 0;
    // The current program's name, or the sixteen names, changed.
    virtual void showProgramName() = 0;
    virtual void showProgramList() = 0;
    // Parameter `index` (host, engine-only or editor-only) now has `value`.
    virtual void setParameter(VstInt32 index, float value) = 0;
    // The effect's suspend put its meter feed back to rest.
    virtual void resetMeters() = 0;
    // The effect's latency may have changed (resume).
    virtual void updateLatencyDisplays() = 0;
    // The host asks the editor to draw at `factor` (1.5: 150 %); true when the editor takes it.
    // User-interface thread.
    virtual bool setHostScaleFactor(float factor) { return false; }

  protected:
    ~CEditorNotices() = default;
};
