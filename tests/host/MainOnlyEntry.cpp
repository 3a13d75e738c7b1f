// Entry of the fixture library: exports the test effect under the old name "main" only, so
// loading it exercises the host's fallback from VSTPluginMain.
#include "tests/host/TestEffect.h"

extern "C" __attribute__((visibility("default"))) AEffect* fixtureMain(
    audioMasterCallback audioMaster) __asm__("main");

AEffect* fixtureMain(audioMasterCallback audioMaster) {
    return host_test::testEntry(audioMaster);
}
