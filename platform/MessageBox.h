// Modal notice to the user (licence problems, failed loads).
//
// Called from the user-interface thread or during effect construction, never from audio. On Linux
// there is no toolkit-independent dialog, so the notice goes to stderr as "caption: text"; on
// Windows it is a task-modal MessageBoxW that returns when the user closes it.
#pragma once

#include <string>

namespace platform {

void showMessageBox(const std::u16string& text, const std::u16string& caption);

}  // namespace platform
