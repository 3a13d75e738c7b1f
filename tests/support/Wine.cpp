#include "support/Wine.h"

namespace testsupport {

bool runningUnderWine() {
    return false;
}

}  // namespace testsupport
