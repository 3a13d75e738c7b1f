// The grandpress library's effect factory, called by the shared entry point: the engine with the
// shared editor wired in.
#include <new>

#include "editor/GrandPressEditor.h"
#include "grandpress/GrandPress.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    return new (std::nothrow) grandpress::GrandPress(audioMaster, &GrandPressEditor::create);
}
