// Modal notice to the user (licence problems, failed loads).
//
// Called from the user-interface thread or during effect construction, never from audio. On Linux
// there is no toolkit-independent dialog, so the notice goes to stderr as "caption: text"; on
// Windows it is a task-modal MessageBoxW that returns when the user closes it.
#pragma once

#include <string>

namespace platform {

void showMessageBox(const std::u16string& text, const std::u16string& caption);

// Test programs only: while a catcher is set, notices go to it instead of the user, so a test can
// check the text and no modal box waits for a click that never comes (wine under Xvfb). The switch
// lives in the program's own copy of this library; a plug-in DLL it loads keeps showing its
// notices. Set and cleared on the test's main thread.
using MessageBoxCatcher = void (*)(const std::u16string& text, const std::u16string& caption);
void catchMessageBoxes(MessageBoxCatcher catcher);  // nullptr shows notices again

}  // namespace platform
