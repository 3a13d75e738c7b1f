// Parameter traffic between the panel and the effect with the host's view of it (automate,
// begin/end edit), changes from the host and from other threads, hover read-outs with their
// time-out, typed entry, and the meter feed (levels, lamp hold, peak-hold time-out, rest).
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "EditorRig.h"
#include "editor/COldVuMeter.h"
#include "editor/PanelControls.h"

namespace editortest {
namespace {

struct EditorFlow : ::testing::TestWithParam<Plugin> {
    void SetUp() override { ASSERT_TRUE(rig.open()); }
    EditorRig rig{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, EditorFlow,
                         ::testing::Values(Plugin::GrandPress, Plugin::TinyPress), pluginName);

// ---- panel -> effect

TEST_P(EditorFlow, ButtonClickIsOneHostGestureWithTheNewValue) {
    const int32_t soft = 2;
    const float before = rig.fx->getParameter(soft);
    rig.clickTag(soft);
    const float expected = before >= 0.5f ? 0.0f : 1.0f;
    EXPECT_EQ(rig.fx->getParameter(soft), expected);
    EXPECT_EQ(rig.automated(soft), std::vector<float>{expected});
    EXPECT_EQ(rig.count(audioMasterBeginEdit, soft), 1);
    EXPECT_EQ(rig.count(audioMasterEndEdit, soft), 1);
    // Begin, change, end, in this order.
    std::vector<VstInt32> order;
    for (const auto& r : rig.host.requests)
        if (r.index == soft) order.push_back(r.opcode);
    EXPECT_EQ(order, (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate,
                                            audioMasterEndEdit}));
    rig.clickTag(soft, kRButton);
    EXPECT_EQ(rig.fx->getParameter(soft), expected);
}

TEST_P(EditorFlow, KnobDragAutomatesEveryStepInsideOneGesture) {
    const int32_t threshold = 5;
    rig.fx->setParameter(threshold, 0.0f);
    const CPoint c = rig.centreOf(threshold);
    guitest::drag(rig.frame(), c, CPoint(c.x, c.y - 150), kLButton, 5);
    EXPECT_NEAR(rig.fx->getParameter(threshold), 0.5f, 1e-5);
    const std::vector<float> steps = rig.automated(threshold);
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_NEAR(steps.front(), 0.1f, 1e-5);  // 30 of 300 pixels
    EXPECT_NEAR(steps.back(), 0.5f, 1e-5);
    EXPECT_EQ(rig.count(audioMasterBeginEdit, threshold), 1);
    EXPECT_EQ(rig.count(audioMasterEndEdit, threshold), 1);
}

TEST_P(EditorFlow, ControlClickOnMakeupGivesZeroDecibels) {
    const int32_t makeup = rig.grand() ? 11 : 16;
    rig.fx->setParameter(makeup, 0.9f);
    rig.clickTag(makeup, kLButton | kControl);
    EXPECT_FLOAT_EQ(rig.fx->getParameter(makeup), 1.0f / 3.0f);
    EXPECT_NEAR(rig.fx->getDisplayValue(makeup), 0.0f, 1e-5);
    EXPECT_EQ(rig.automated(makeup).size(), 1u);
}

TEST_P(EditorFlow, EngineOnlyControlsNeverReachTheHost) {
    rig.clickTag(35);  // S.C.Monit
    EXPECT_EQ(rig.fx->getParameter(35), 1.0f);
    const CPoint knob = rig.centreOf(36);  // on the back page: switch first
    rig.editor->switchPage();
    guitest::drag(rig.frame(), knob, CPoint(knob.x, knob.y - 30), kLButton, 3);
    EXPECT_EQ(rig.host.count(audioMasterAutomate), 0);
    EXPECT_EQ(rig.host.count(audioMasterBeginEdit), 0);
    EXPECT_EQ(rig.host.count(audioMasterEndEdit), 0);
    EXPECT_NEAR(rig.editor->control(36)->getValue(), rig.fx->getParameter(36), 1e-6);
    // The setting display follows in physical units.
    EXPECT_EQ(rig.editor->settingDisplay(36)->getValue(), rig.fx->getDisplayValue(36));
}

TEST_P(EditorFlow, SideChainButtonRefusesWithoutSideChainInputs) {
    VstSpeakerArrangement in{}, out{};
    in.type = out.type = kSpeakerArrStereo;
    in.numChannels = out.numChannels = 2;
    rig.fx->dispatcher(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0);
    ASSERT_FALSE(rig.fx->sideChainAvailable());
    rig.clickTag(rig.scExt());
    EXPECT_EQ(rig.editor->control(rig.scExt())->getValue(), 0.0f);
    EXPECT_EQ(rig.fx->getParameter(rig.scExt()), 0.0f);
    EXPECT_TRUE(rig.automated(rig.scExt()).empty());

    in.numChannels = 4;
    in.type = kSpeakerArrUserDefined;
    rig.fx->dispatcher(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0);
    ASSERT_TRUE(rig.fx->sideChainAvailable());
    rig.clickTag(rig.scExt());
    EXPECT_EQ(rig.fx->getParameter(rig.scExt()), 1.0f);
    EXPECT_EQ(rig.automated(rig.scExt()), std::vector<float>{1.0f});
}

// ---- effect -> panel

TEST_P(EditorFlow, HostChangesMoveControlsAndRewriteReadouts) {
    rig.fx->setParameter(5, 0.25f);  // 6 - 9 = -3 dB
    EXPECT_EQ(rig.editor->control(5)->getValue(), 0.25f);
    EXPECT_STREQ(rig.editor->readout(44)->getText(), "-3.00dB");
    rig.fx->setParameter(6, 0.96f);  // step 19, ratio 12: infinite only on hover
    EXPECT_STREQ(rig.editor->readout(41)->getText(), "12.00 : 1");
    EXPECT_FLOAT_EQ(rig.editor->readout(41)->getValue(), 12.0f);
    rig.fx->setParameter(6, 1.0f);  // ratio 64
    EXPECT_STREQ(rig.editor->readout(41)->getText(), "oo : 1");
    rig.fx->setParameter(rig.output(), 1.0f);
    EXPECT_STREQ(rig.editor->readout(50)->getText(), rig.grand() ? "12.00dB" : "6.00dB");
    rig.fx->setParameter(37, 0.3f);
    EXPECT_EQ(rig.editor->control(37)->getValue(), 0.3f);
    EXPECT_EQ(rig.editor->settingDisplay(37)->getValue(), rig.fx->getDisplayValue(37));
}

TEST_P(EditorFlow, SideChainButtonsIgnoreChangesFromTheHost) {
    rig.fx->setParameter(rig.scExt(), 1.0f);
    rig.fx->setParameter(35, 1.0f);
    EXPECT_EQ(rig.editor->control(rig.scExt())->getValue(), 0.0f);
    EXPECT_EQ(rig.editor->control(35)->getValue(), 0.0f);
}

TEST_P(EditorFlow, ProgramChangeMovesEveryControl) {
    rig.fx->dispatcher(effSetProgram, 0, 5, nullptr, 0);
    for (int32_t i = 0; i <= 33; ++i) {
        if (CControl* c = rig.editor->control(i); c && i != rig.scExt()) {
            EXPECT_EQ(c->getValue(), rig.fx->getParameter(i)) << i;
        }
    }
}

TEST_P(EditorFlow, ChangesFromAnotherThreadWaitForTheNextIdle) {
    const float before = rig.editor->control(5)->getValue();
    std::thread automation([&] {
        rig.fx->setParameter(5, 0.75f);
        rig.fx->setParameter(37, 0.8f);
        rig.editor->resetMeters();
    });
    automation.join();
    EXPECT_EQ(rig.fx->getParameter(5), 0.75f);
    EXPECT_EQ(rig.editor->control(5)->getValue(), before);  // no view touched off-thread
    rig.editor->meter(0)->setLevel1(0.7f);
    rig.idle();
    EXPECT_EQ(rig.editor->control(5)->getValue(), 0.75f);
    EXPECT_STREQ(rig.editor->readout(44)->getText(), "-21.00dB");  // 6 - 27
    EXPECT_EQ(rig.editor->control(37)->getValue(), 0.8f);
    EXPECT_EQ(rig.editor->settingDisplay(37)->getValue(), rig.fx->getDisplayValue(37));
}

// ---- read-outs

TEST_P(EditorFlow, HoverReadoutAppearsFromTheSecondIdleAndTimesOut) {
    rig.clock.advance(5000);  // long quiet since open
    rig.moveTo(rig.centreOf(5));
    rig.idle();  // quiet measured before the hover: shown and hidden in the same pass
    EXPECT_FALSE(rig.editor->isReadoutShown(44));
    rig.clock.advance(10);
    rig.idle();
    ASSERT_TRUE(rig.editor->isReadoutShown(44));
    char expected[readout::kTextSize];
    readout::format(readout::Kind::Threshold, readout::Occasion::Hover, rig.fx->getDisplayValue(5),
                    expected);
    EXPECT_STREQ(rig.editor->readout(44)->getText(), expected);

    rig.moveTo(CPoint(5, 5));  // away from every knob
    rig.clock.advance(1500);
    rig.idle();
    EXPECT_TRUE(rig.editor->isReadoutShown(44));
    rig.clock.advance(501);  // 2001 ms after the last hover pass
    rig.idle();
    EXPECT_FALSE(rig.editor->isReadoutShown(44));
}

TEST_P(EditorFlow, ReadoutsStayWhileTheButtonIsHeldOnAControl) {
    const CPoint knob = rig.centreOf(5);
    rig.moveTo(knob);
    rig.idle();
    ASSERT_TRUE(rig.editor->isReadoutShown(44));
    CPoint p = knob;
    rig.frame()->onMouseDown(p, CButtonState(kLButton));
    p = CPoint(5, knob.y - 60);  // drag far off the knob
    rig.frame()->onMouseMoved(p, CButtonState(kLButton));
    rig.clock.advance(5000);
    rig.idle();
    EXPECT_TRUE(rig.editor->isReadoutShown(44));
    rig.frame()->onMouseUp(p, CButtonState());
    rig.clock.advance(1000);
    rig.idle();
    EXPECT_TRUE(rig.editor->isReadoutShown(44));  // the time-out counts from the release
    rig.clock.advance(2500);
    rig.idle();
    EXPECT_FALSE(rig.editor->isReadoutShown(44));
}

TEST_P(EditorFlow, HoverOverControlsWithoutReadoutShowsNothing) {
    for (int32_t tag : {0, 2, rig.meters()}) {
        rig.moveTo(rig.centreOf(tag));
        rig.idle();
        for (int32_t r = 41; r <= 51; ++r) EXPECT_FALSE(rig.editor->isReadoutShown(r)) << tag;
    }
}

TEST_P(EditorFlow, TypedRatioSelectsTheNearestStepAndMovesTheKnob) {
    rig.moveTo(rig.centreOf(6));
    rig.idle();
    ASSERT_TRUE(rig.editor->isReadoutShown(41));
    rig.typeInto(rig.editor->readout(41)->getViewSize().getCenter(), "2,5");
    EXPECT_FLOAT_EQ(rig.fx->getParameter(6), 0.66f);
    EXPECT_FLOAT_EQ(rig.editor->control(6)->getValue(), 0.66f);
    EXPECT_EQ(rig.automated(6), std::vector<float>{0.66f});
    EXPECT_STREQ(rig.editor->readout(41)->getText(), "2.38 : 1");  // step 13: 2^1.25
    // The infinite ratio the read-out shows for the top step selects it.
    rig.typeInto(rig.editor->readout(41)->getViewSize().getCenter(), "oo : 1");
    EXPECT_FLOAT_EQ(rig.fx->getParameter(6), 1.0f);
}

TEST_P(EditorFlow, TypedEntriesAreClampedToTheirRanges) {
    struct Entry {
        int32_t readout, parameter;
        const char* text;
        float normalised;
    };
    std::vector<Entry> entries = {
        {42, rig.attack(), "abc", 0.0f},  // letters read 0, clamped to 0.01 ms
        {42, rig.attack(), "1k", 1.0f},   // 1000 ms
        {42, rig.attack(), "1", 0.4f},    // log(100) / log(100000)
        {44, 5, "-12", 0.5f},             // (6 + 12) / 36
        {44, 5, "-99", 1.0f},             // clamped to -30 dB
        {44, 5, "-12dB", 0.5f},           // units are read
        {44, 5, "-12 parsecs", 0.5f},     // other text after the number is not
        {51, rig.grand() ? 11 : 16, "0", 1.0f / 3.0f},
    };
    if (rig.grand()) {
        entries.push_back({50, 22, "6", 0.75f});
        entries.push_back({45, 16, "100", 0.5f});  // log(4) / log(16)
        entries.push_back({46, 14, "4", 0.5f});    // kHz
        entries.push_back({48, 20, "-25", 0.25f});
        entries.push_back({43, 9, "1000", 0.5f});
        entries.push_back({43, 9, "1s", 0.5f});
        entries.push_back({46, 14, "4000Hz", 0.5f});
        entries.push_back({46, 14, "2k", 0.25f});  // 2000 Hz: log(2) / log(16)
        entries.push_back({48, 20, "25L", 0.25f});
    } else {
        entries.push_back({50, 23, "6", 1.0f});
        entries.push_back({50, 23, "12", 1.0f});
        entries.push_back({43, 10, "100", static_cast<float>(std::log10(3.0) * 0.5)});
        entries.push_back({43, 10, "0.1s", static_cast<float>(std::log10(3.0) * 0.5)});
    }
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.text);
        rig.moveTo(rig.centreOf(e.parameter));
        rig.idle();
        ASSERT_TRUE(rig.editor->isReadoutShown(e.readout));
        rig.typeInto(rig.editor->readout(e.readout)->getViewSize().getCenter(), e.text);
        EXPECT_NEAR(rig.fx->getParameter(e.parameter), e.normalised, 1e-6);
        EXPECT_NEAR(rig.editor->control(e.parameter)->getValue(), e.normalised, 1e-6);
        ASSERT_FALSE(rig.automated(e.parameter).empty());
        EXPECT_NEAR(rig.automated(e.parameter).back(), e.normalised, 1e-6);
    }
}

// ---- meters

TEST_P(EditorFlow, IdleFeedsBothMetersFromTheEffect) {
    MeterFeed& feed = rig.fx->meterFeed();
    feed.channel[0].mainLevel = 0.5;
    feed.channel[0].secondLevel = 0.7;
    feed.channel[0].overload = 1.0;
    feed.channel[0].peakA = 1.0;
    feed.channel[1].mainLevel = 0.25;
    feed.channel[1].peakB = 0.5;
    rig.idle();
    COldVuMeter* left = rig.editor->meter(0);
    COldVuMeter* right = rig.editor->meter(1);
    EXPECT_FLOAT_EQ(left->getLevel1(), 0.5f);
    EXPECT_FLOAT_EQ(left->getLevel2(), 0.7f);
    EXPECT_EQ(left->lampFrame(), COldVuMeter::kLampOver);
    EXPECT_EQ(left->getPeak1(), 1.0);
    EXPECT_FLOAT_EQ(right->getLevel1(), 0.25f);
    EXPECT_EQ(right->getPeak2(), 0.5);
    EXPECT_EQ(right->lampFrame(), COldVuMeter::kLampOff);
    EXPECT_TRUE(left->isDirty());

    feed.channel[0].overload = 0.0;
    rig.idle();
    EXPECT_TRUE(left->isOverHeld());
    // A click on either meter clears both holds and zeroes the feed.
    rig.click(CPoint(300, 50));
    EXPECT_FALSE(left->isOverHeld());
    EXPECT_EQ(feed.channel[0].mainLevel.load(), 0.0);
    EXPECT_EQ(feed.channel[0].secondLevel.load(), 0.0);
    EXPECT_EQ(feed.channel[1].mainLevel.load(), 0.0);
    EXPECT_EQ(feed.channel[0].overCount.load(), 0.0);
    EXPECT_EQ(rig.host.count(audioMasterAutomate), 0);
}

TEST_P(EditorFlow, HeldPeaksFallBackAfterTwoSeconds) {
    MeterFeed& feed = rig.fx->meterFeed();
    const int twoSeconds = 2 * 48000;
    for (float source : {0.0f, 0.5f, 1.0f}) {
        SCOPED_TRACE(source);
        rig.fx->setParameter(rig.meters(), source);
        for (auto& ch : feed.channel) {
            ch.peakA = 0.6;
            ch.peakB = 0.4;
            ch.peakAAge = twoSeconds - 1;
            ch.peakBAge = twoSeconds;
        }
        rig.idle();
        const double rest = source == 0.5f ? 1.0 : 0.0;  // gain reduction rests at 1.0
        for (auto& ch : feed.channel) {
            EXPECT_EQ(ch.peakA.load(), 0.6);
            EXPECT_EQ(ch.peakAAge.load(), twoSeconds - 1);
            EXPECT_EQ(ch.peakB.load(), rest);
            EXPECT_EQ(ch.peakBAge.load(), 0);
        }
        feed.channel[0].peakAAge = twoSeconds + 10;
        rig.idle();
        EXPECT_EQ(feed.channel[0].peakA.load(), rest);
    }
}

TEST_P(EditorFlow, MetersAreNeitherFedNorTimedWhileTheBackPageShows) {
    rig.editor->switchPage();
    MeterFeed& feed = rig.fx->meterFeed();
    feed.channel[0].mainLevel = 0.9;
    feed.channel[0].peakAAge = 1000000;
    feed.channel[0].peakA = 0.3;
    rig.idle();
    EXPECT_FLOAT_EQ(rig.editor->meter(0)->getLevel1(), 1.1e-7f);
    EXPECT_EQ(feed.channel[0].peakA.load(), 0.3);
    EXPECT_TRUE(rig.editor->backPage()->isDirty());
}

TEST_P(EditorFlow, SuspendPutsTheMetersToRest) {
    rig.fx->meterFeed().channel[1].mainLevel = 0.8;
    rig.idle();
    EXPECT_FLOAT_EQ(rig.editor->meter(1)->getLevel1(), 0.8f);
    rig.fx->dispatcher(effMainsChanged, 0, 0, nullptr, 0);
    EXPECT_FLOAT_EQ(rig.editor->meter(1)->getLevel1(), 1.1e-7f);
    EXPECT_FLOAT_EQ(rig.editor->meter(1)->getValue(), 2.1e-7f);
}

TEST(TinyPressEditor, LatencyDisplaysFollowARateChangeWithoutReopening) {
    EditorRig rig(Plugin::TinyPress);
    ASSERT_TRUE(rig.open());
    const float before = rig.editor->latencyDisplay(1)->getValue();
    rig.fx->dispatcher(effMainsChanged, 0, 0, nullptr, 0);
    rig.fx->dispatcher(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    rig.fx->dispatcher(effMainsChanged, 0, 1, nullptr, 0);
    const VstInt32 samples = rig.fx->getLatencySamples();
    EXPECT_EQ(rig.editor->latencyDisplay(1)->getValue(), static_cast<float>(samples));
    EXPECT_NEAR(rig.editor->latencyDisplay(0)->getValue(), samples / 96.0, 1e-3);
    EXPECT_NE(before, rig.editor->latencyDisplay(1)->getValue());
}

}  // namespace
}  // namespace editortest
