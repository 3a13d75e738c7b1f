// Base of every editor object an effect owns. The effect creates its editor once, at
// construction; the host opens, idles and closes the window through the dispatcher.
// All calls arrive on the host's user-interface thread.
#pragma once

#include "shell/vst2.h"

class AudioEffect;

class AEffEditor {
  public:
    // Attaches itself to the effect (sets effFlagsHasEditor); the effect owns and deletes it.
    explicit AEffEditor(AudioEffect* effect);
    virtual ~AEffEditor();

    // Stores a pointer to the editor's rectangle; false when the editor has no rectangle.
    virtual bool getRect(ERect** rect);
    // Opens the window inside the host's parent window (an X11 window id on Linux).
    virtual bool open(void* parentWindow);
    virtual void close();
    virtual bool isOpen() const { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& keyCode) { return false; }
    virtual bool onKeyUp(VstKeyCode& keyCode) { return false; }
    virtual bool setKnobMode(VstInt32 mode) { return false; }

    AudioEffect* getEffect() const { return effect; }

  protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
