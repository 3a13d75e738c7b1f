// The user notices (platform::showMessageBox) of the code under test, caught instead of shown for
// the life of the object: on Windows a modal box would wait for a click, on Linux they would go
// to stderr. Main thread of the test; one object at a time.
#pragma once

#include <string>

#include "platform/MessageBox.h"
#include "platform/Utf.h"

namespace testsupport {

class CaughtNotices {
  public:
    CaughtNotices() {
        caught().clear();
        platform::catchMessageBoxes(&take);
    }
    ~CaughtNotices() { platform::catchMessageBoxes(nullptr); }
    CaughtNotices(const CaughtNotices&) = delete;
    CaughtNotices& operator=(const CaughtNotices&) = delete;

    // One "caption: text\n" line per notice so far, in order (as Linux writes them to stderr).
    static std::string lines() { return caught(); }

  private:
    static std::string& caught() {
        static std::string text;
        return text;
    }
    static void take(const std::u16string& text, const std::u16string& caption) {
        caught() += platform::toUtf8(caption) + ": " + platform::toUtf8(text) + "\n";
    }
};

}  // namespace testsupport
