// The test switch of MessageBox.h, shared by the Linux and Windows notices.
#pragma once

#include "platform/MessageBox.h"

namespace platform {

// True when a test's catcher took the notice; the caller then shows nothing.
bool handToCatcher(const std::u16string& text, const std::u16string& caption);

}  // namespace platform
