// Shared helpers of the adaptor tests: the fake effect library, a process made without a host
// library around it, and render calls through the host-library interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "nrtx/ProcessGroup.h"
#include "platform/DynamicLibrary.h"
#include "tests/wrapper/FakeEffect.h"
#include "wrapper/WrapperProcess.h"

namespace wrapper_test {

std::string fakeEffectPath();
std::string tinypressPath();
std::string motorPath();

// Whether this build makes tinypress (the Windows build does not yet).
#ifdef QRX_TINYPRESS_BUILT
constexpr bool kTinypressBuilt = true;
#else
constexpr bool kTinypressBuilt = false;
#endif
// First in a test that runs the real tinypress: skipped where the build has none.
#define SKIP_WITHOUT_TINYPRESS()        \
    if (!wrapper_test::kTinypressBuilt) \
    GTEST_SKIP() << "tinypress is not built for this platform yet"

// tinypress's editor open in `parent` (a host view of 1000 x 800 pixels) through the adaptor
// while the host asks the editor for 200 % and back: each time the effect asks the adaptor for
// its new size and the adaptor places its child window for it (centred, bottom-aligned).
void expectEditorFollowsZoom(std::uintptr_t parent);

// The fixture library, kept loaded while the object lives; reset() clears its configuration.
class FakeLibrary {
  public:
    FakeLibrary();
    ~FakeLibrary();
    fake::Config& config() { return *config_; }
    void reset() { reset_(); }

  private:
    std::unique_ptr<platform::DynamicLibrary> library_;
    fake::Config* config_;
    FakeResetProc reset_;
};

// A process group with one type of the given kind and channel format.
struct TestGroup {
    explicit TestGroup(nrtx::TypeKind kind = nrtx::TypeKind::RealTime, int monoFormat = 0,
                       int keyFormat = 0);
    CProcessGroup group;
    CEffectType type;
};

// The host-library interface of a process (what the host calls).
nrtx::Instance& hostSide(CEffectProcess& process);

// One render call; answers the frames written and stores the consumed count.
int render(CEffectProcess& process, const float* left, const float* right, float* outLeft,
           float* outRight, int frames, const float* key = nullptr, int* consumed = nullptr);

}  // namespace wrapper_test
