#include "platform/MessageBox.h"

#include <cstdio>

#include "platform/MessageBoxCatcher.h"
#include "platform/Utf.h"

namespace platform {

void showMessageBox(const std::u16string& text, const std::u16string& caption) {
    if (handToCatcher(text, caption)) return;
    // One buffered write so lines from concurrent callers do not interleave mid-message. Lenient
    // conversion: a broken surrogate in a message should still show the rest of it.
    const std::string line = toUtf8(caption) + ": " + toUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
