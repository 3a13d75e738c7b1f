// processReplacing allocates nothing. This program replaces the C allocator (malloc and
// friends, which operator new also uses) with counting wrappers around glibc's own functions;
// the count is only taken while armed, around processing calls covering every path.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "EngineRig.h"

#if defined(_WIN32)
// There is no glibc to wrap on Windows, and a static program cannot replace msvcrt's malloc:
// there the count covers operator new, which every allocation of the engine goes through.
#include "support/CountingNew.h"

namespace {
std::atomic<bool>& armed = testsupport::counting;
std::atomic<long>& allocations = testsupport::allocations;
}  // namespace
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {
std::atomic<bool> armed{false};
std::atomic<int> allocations{0};
void note() {
    if (armed.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    note();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    note();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    note();
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace tinypress {
namespace {

using tinypress_test::EngineRig;
using tinypress_test::noiseSignal;
using tinypress_test::Signal;

TEST(TinyPressRealtime, TheCounterSeesOperatorNew) {
    armed = true;
    int* p = new int(3);
    armed = false;
    delete p;
    EXPECT_GE(allocations.exchange(0), 1);
}

TEST(TinyPressRealtime, ProcessingAllocatesNothing) {
    EngineRig rig;
    rig.neutral();
    const Signal a = noiseSignal(3000, 1.2f, 1), b = noiseSignal(3000, 0.4f, 2);
    struct Setting {
        int index;
        float value;
    };
    const Setting settings[] = {
        {kRatio, 0.9f},  {kSoft, 1.0f},          {kRms, 1.0f},    {kAutoRelease, 1.0f},
        {kLink, 1.0f},   {kAutoMakeup, 1.0f},    {kSmooth, 0.0f}, {kStereo, 0.0f},
        {kMeters, 1.0f}, {kMeters, 0.0f},        {kScExt, 1.0f},  {kScMonitor, 1.0f},
        {kReset, 0.0f},  {kVuIntegration, 0.3f}, {kPower, 0.0f},  {kMeters, 0.5f},
    };
    std::vector<float> o0(3000), o1(3000);
    for (const Setting& s : settings) {
        rig.set(s.index, s.value);  // setting threads may allocate; only processing is counted
        for (const int block : {1, 64, 100, 3000}) {
            float* ins[4] = {const_cast<float*>(a.data()), const_cast<float*>(b.data()),
                             const_cast<float*>(b.data()), const_cast<float*>(a.data())};
            float* outs[2] = {o0.data(), o1.data()};
            // The test host records every request (the pin queries of each block) in a vector:
            // room for them is made beforehand, so only the effect's own allocations count.
            rig.host.requests.clear();
            rig.host.requests.reserve(4 * 3000 + 16);
            armed = true;
            for (int at = 0; at + block <= 3000; at += block) {
                float* blockIns[4] = {ins[0] + at, ins[1] + at, ins[2] + at, ins[3] + at};
                float* blockOuts[2] = {outs[0] + at, outs[1] + at};
                rig.fx.processReplacing(blockIns, blockOuts, block);
            }
            armed = false;
            EXPECT_EQ(allocations.exchange(0), 0) << s.index << " " << block;
        }
    }
    rig.fx.suspend();
    rig.fx.resume();
    float* ins[4] = {const_cast<float*>(a.data()), nullptr, nullptr, nullptr};
    float* outs[2] = {o0.data(), nullptr};
    rig.host.requests.clear();
    rig.host.requests.reserve(16);
    armed = true;
    rig.fx.processReplacing(ins, outs, 3000);
    armed = false;
    EXPECT_EQ(allocations.exchange(0), 0);
}

}  // namespace
}  // namespace tinypress
