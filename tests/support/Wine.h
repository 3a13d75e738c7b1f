// Whether a test program runs under wine rather than on Linux or on Windows itself. wine draws
// vectors without antialiasing; the pixel tests that look for antialiased edges skip that part
// there.
#pragma once

namespace testsupport {

bool runningUnderWine();

}  // namespace testsupport
