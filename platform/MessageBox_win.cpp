#include <windows.h>

#include "platform/MessageBox.h"
#include "platform/MessageBoxCatcher.h"
#include "platform/WinText.h"

namespace platform {

void showMessageBox(const std::u16string& text, const std::u16string& caption) {
    if (handToCatcher(text, caption)) return;
    // Task modal: the host's windows wait for the user, as they would for one of its own notices.
    const std::wstring wideText = widen(text);
    const std::wstring wideCaption = widen(caption);
    MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(),
                MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND);
}

}  // namespace platform
