// The render paths allocate nothing: global operator new is counted while rendering real time
// (bypass on and off, odd buffers, queued MIDI) and offline, with tinypress and the fake effect.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CountingNew.h"
#include "tests/wrapper/TestSupport.h"

namespace {
using testsupport::allocations;
// Counted from the start: the tests compare the count before and after.
const bool countingFromTheStart = (testsupport::counting = true);
}  // namespace

namespace {

using namespace wrapper_test;

long renderAndCount(CEffectProcess& process, CPluginWrapper& w, bool offline) {
    std::vector<float> in(70000, 0.25f), key(70000, 0.5f), outL(70000), outR(70000);
    const long before = allocations.load();
    for (int round = 0; round < 2; ++round) {
        hostSide(process).setControlValue(1, round ? nrtx::kControlOn : nrtx::kControlOff);
        w.QueueMidiEvent(0x90, 60, 100, 0, 0);
        int pos = 0;
        for (int length : {1, 7, 33, 977, 4096, 65536 + 100}) {
            if (offline) {
                int consumed = 0;
                render(process, &in[0], &in[0], &outL[0], &outR[0], length, &key[0], &consumed);
            } else {
                render(process, &in[pos % 1000], &in[pos % 1000], &outL[0], &outR[0],
                       std::min(length, 5000), &key[0]);
            }
            pos += length;
        }
    }
    return allocations.load() - before;
}

TEST(RenderAllocation, RealTimeAndOfflineRenderAllocateNothing) {
    FakeLibrary fake;
    fake.config().initialDelay = 100;
    std::vector<std::string> plugins;
    if (kTinypressBuilt) plugins.push_back(tinypressPath());
    plugins.push_back(fakeEffectPath());
    for (const std::string& plugin : plugins) {
        TestGroup rtGroup(nrtx::TypeKind::RealTime, 0, 1), oflGroup(nrtx::TypeKind::Offline);
        CWrapperNRTXProcess rt(rtGroup.group, rtGroup.type, plugin);
        CWrapperOFLProcess ofl(oflGroup.group, oflGroup.type, plugin);
        ASSERT_TRUE(rt.Wrapper().IsLoaded()) << plugin;
        EXPECT_EQ(renderAndCount(rt, rt.Wrapper(), false), 0) << plugin;
        EXPECT_EQ(renderAndCount(ofl, ofl.Wrapper(), true), 0) << plugin;
    }
    // The counter works: constructing a process allocates.
    const long before = allocations.load();
    TestGroup g;
    CWrapperNRTXProcess p(g.group, g.type, fakeEffectPath());
    EXPECT_GT(allocations.load() - before, 0);
}

}  // namespace
