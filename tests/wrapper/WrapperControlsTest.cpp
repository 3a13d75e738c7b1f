// Host controls made by probing display texts: kinds, names, value-to-text, probing side effects.
#include <gtest/gtest.h>

#include "tests/wrapper/TestSupport.h"
#include "wrapper/WrapperControls.h"

namespace {

using namespace wrapper_test;

TEST(ControlTextHelpers, CutParseReplaceAndName) {
    EXPECT_EQ(wrapper::cutAfterTwoDecimals("-12.0049dB"), "-12.00");
    EXPECT_EQ(wrapper::cutAfterTwoDecimals("1.5dB"), "1.5dB");      // one digit: not cut
    EXPECT_EQ(wrapper::cutAfterTwoDecimals("S.C.Ext"), "S.C.Ext");  // no digits behind the '.'
    EXPECT_EQ(wrapper::cutAfterTwoDecimals("0.5 : 1.25"), "0.5 : 1");
    EXPECT_EQ(wrapper::cutAfterTwoDecimals("On"), "On");
    EXPECT_DOUBLE_EQ(wrapper::leadingNumber(" -3.50dB"), -3.5);
    EXPECT_DOUBLE_EQ(wrapper::leadingNumber("+6.25 dB"), 6.25);
    EXPECT_DOUBLE_EQ(wrapper::leadingNumber("On"), 0.0);
    EXPECT_DOUBLE_EQ(wrapper::leadingNumber("-"), 0.0);
    double v = 0;
    EXPECT_TRUE(wrapper::readsAsNumber(" 12.50 ", &v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_FALSE(wrapper::readsAsNumber("12.5dB", &v));
    EXPECT_FALSE(wrapper::readsAsNumber("", &v));
    EXPECT_EQ(wrapper::replaceUnprintable("-\xE2\x88\x9E dB"), "-oo dB");
    EXPECT_EQ(wrapper::replaceUnprintable("a{b"), "aoo dB");  // 0x7B is above the range
    EXPECT_EQ(wrapper::replaceUnprintable("z9 dB"), "z9 dB");
    EXPECT_EQ(wrapper::controlNameOf(5, "Threshold "), "5: Threshold \nThres\nThr\n");
    EXPECT_EQ(wrapper::controlNameOf(12, "Ab"), "12: Ab\nAb\nAb\n");
}

TEST(ControlTextHelpers, DescriptorTableStartsAutomatic) {
    for (int i : {0, 33, 1023}) {
        const wrapper::ParamDescriptor& d = wrapper::paramDescriptor(i);
        EXPECT_EQ(d.kind, 99);
        EXPECT_EQ(d.minimum, 0.0);
        EXPECT_EQ(d.maximum, 1.0);
        EXPECT_EQ(d.step, 0.01);
        EXPECT_EQ(d.defaultValue, 0.5);
    }
}

class FakeControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Config& c = fake.config();
        c.numParams = 5;
        c.display[0] = fake::kLinearDb;
        c.display[1] = fake::kSwitch;
        c.display[2] = fake::kOffMidpoint;
        c.display[3] = fake::kHidden;
        c.display[4] = fake::kMinusInfinity;
        const float start[5] = {0.3f, 1.0f, 0.77f, 0.12f, 0.5f};
        for (int i = 0; i < 5; ++i) c.values[0][i] = start[i];
        process = std::make_unique<CWrapperNRTXProcess>(group.group, group.type, fakeEffectPath());
    }
    template <class T>
    const T* control(int index) {
        return dynamic_cast<const T*>(process->GetControl(index));
    }
    FakeLibrary fake;
    TestGroup group;
    std::unique_ptr<CWrapperNRTXProcess> process;
};

TEST_F(FakeControlsTest, MasterBypassComesFirst) {
    ASSERT_EQ(process->GetNumControls(), 1 + 5);
    const auto* bypass = control<CPluginControl_OnOff>(1);
    ASSERT_NE(bypass, nullptr);
    EXPECT_EQ(bypass->GetName(), "Master Bypass\nMstr Byp\nMBYP");
    EXPECT_EQ(bypass->GetDefaultValue(), nrtx::kControlOff);
    EXPECT_TRUE(bypass->IsAutomatable());
    EXPECT_EQ(process->GetControl(2)->GetName(), "0: Param0\nParam\nPar\n");
}

TEST_F(FakeControlsTest, LinearDisplayBecomesALinearControl) {
    const auto* linear = control<CPluginControl_VST_linear>(2);
    ASSERT_NE(linear, nullptr);
    EXPECT_DOUBLE_EQ(linear->DisplayMinimum(), -12.0);
    EXPECT_DOUBLE_EQ(linear->DisplayMaximum(), 6.0);
    EXPECT_EQ(linear->NumSteps(), 100);
    EXPECT_EQ(linear->Unit(), "dB");
    EXPECT_EQ(linear->GetDefaultValue(), nrtx::controlValueFromUnit(0.3f));
    // -12 + 0.5 * 18 = -3; -12 + 0.25 * 18 = -7.5
    EXPECT_EQ(linear->GetValueString(nrtx::controlValueFromUnit(0.5), 31), "-3.00 dB");
    EXPECT_EQ(linear->GetValueString(nrtx::controlValueFromUnit(0.25), 31), "-7.50 dB");
    EXPECT_EQ(linear->GetValueString(nrtx::kControlOn, 4), "6.00");
}

TEST_F(FakeControlsTest, TwoTextDisplayBecomesAnOnOffControl) {
    const auto* onOff = control<CPluginControl_OnOff>(3);
    ASSERT_NE(onOff, nullptr);
    EXPECT_EQ(onOff->OnText(), "On");
    EXPECT_EQ(onOff->OffText(), "Off");
    EXPECT_EQ(onOff->GetDefaultValue(), nrtx::kControlOn);  // int(1.0 + 0.5) = 1
}

TEST_F(FakeControlsTest, OffMidpointHiddenAndInfinityDisplaysAreLearned) {
    const auto* off = control<CPluginControl_VST_Learn>(4);
    ASSERT_NE(off, nullptr);
    ASSERT_EQ(off->NumSlots(), 101);
    EXPECT_EQ(off->SlotText(0), "0.00");
    EXPECT_EQ(off->SlotText(50), "2.50");  // 10 * 0.5^2
    EXPECT_EQ(off->SlotText(100), "10.00");
    // Truncation picks the slot at or below: 0.509 -> slot 50; numbers get the formatter.
    EXPECT_EQ(off->GetValueString(nrtx::controlValueFromUnit(0.509), 31), "2.50");
    EXPECT_EQ(off->GetValueString(nrtx::controlValueFromUnit(0.5), 3), "2.5");

    const auto* hidden = control<CPluginControl_VST_Learn>(5);
    ASSERT_NE(hidden, nullptr);
    for (int k = 0; k < hidden->NumSlots(); ++k) EXPECT_EQ(hidden->SlotText(k), "") << k;
    EXPECT_EQ(hidden->GetValueString(nrtx::kControlOn, 31), "");

    const auto* infinity = control<CPluginControl_VST_Learn>(6);
    ASSERT_NE(infinity, nullptr);
    EXPECT_EQ(infinity->SlotText(0), "-oo dB");
    EXPECT_EQ(infinity->SlotText(100), "0.0 dB");  // 8 characters at most
    EXPECT_EQ(infinity->GetValueString(nrtx::kControlOff, 31), "-oo dB");
}

TEST_F(FakeControlsTest, ProbingLeavesEveryParameterAsItWas) {
    const float start[5] = {0.3f, 1.0f, 0.77f, 0.12f, 0.5f};
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(fake.config().values[0][i], start[i]) << i;
}

TEST_F(FakeControlsTest, HostControlChangesReachTheEffectAsUnitValues) {
    hostSide(*process).setControlValue(2, nrtx::controlValueFromUnit(0.75));
    EXPECT_FLOAT_EQ(fake.config().values[0][0], 0.75f);
    hostSide(*process).setControlValue(1, nrtx::kControlOn);  // bypass: not a parameter
    EXPECT_FLOAT_EQ(fake.config().values[0][0], 0.75f);
    EXPECT_FLOAT_EQ(fake.config().values[0][1], 1.0f);
}

TEST(TinypressControls, KindsChosenForEveryParameter) {
    SKIP_WITHOUT_TINYPRESS();
    TestGroup group;
    CWrapperNRTXProcess process(group.group, group.type, tinypressPath());
    ASSERT_EQ(process.GetNumControls(), 1 + 34);
    auto kindOf = [&](int u) -> std::string {
        const CPluginControl* c = process.GetControl(u + 2);
        if (dynamic_cast<const CPluginControl_VST_linear*>(c)) return "linear";
        if (dynamic_cast<const CPluginControl_OnOff*>(c)) return "onoff";
        if (dynamic_cast<const CPluginControl_VST_Learn*>(c)) return "learn";
        return "?";
    };
    const auto* power = dynamic_cast<const CPluginControl_OnOff*>(process.GetControl(2));
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->OnText(), "On");
    EXPECT_EQ(power->OffText(), "Off");
    const auto* output = dynamic_cast<const CPluginControl_VST_linear*>(process.GetControl(25));
    ASSERT_NE(output, nullptr);
    EXPECT_DOUBLE_EQ(output->DisplayMinimum(), -12.0);
    EXPECT_DOUBLE_EQ(output->DisplayMaximum(), 6.0);
    // tinypress writes its units into the display text and leaves the label empty.
    EXPECT_EQ(output->Unit(), "");
    EXPECT_EQ(output->GetValueString(nrtx::controlValueFromUnit(0.5), 31), "-3.00");
    const auto* mix = dynamic_cast<const CPluginControl_VST_linear*>(process.GetControl(24));
    ASSERT_NE(mix, nullptr);
    EXPECT_DOUBLE_EQ(mix->DisplayMinimum(), 0.0);
    EXPECT_DOUBLE_EQ(mix->DisplayMaximum(), 100.0);
    EXPECT_EQ(mix->GetValueString(nrtx::controlValueFromUnit(0.25), 31), "25.0");
    for (int u : {5, 6, 8, 12, 14}) EXPECT_EQ(kindOf(u), "learn") << u;  // threshold .. selectors
    for (int u : {2, 3, 11}) EXPECT_EQ(kindOf(u), "onoff") << u;         // Soft, RMS, AutoRel
    // A switch whose on-text has dots but no digits keeps the whole text.
    const auto* external = dynamic_cast<const CPluginControl_OnOff*>(process.GetControl(26 + 2));
    ASSERT_NE(external, nullptr);
    EXPECT_EQ(external->OnText(), "S.C.Ext");
    EXPECT_EQ(external->OffText(), "Off");
    for (int u : {1, 4, 7, 9, 13, 15}) {  // hidden rows: learned, with empty texts
        const auto* hidden =
            dynamic_cast<const CPluginControl_VST_Learn*>(process.GetControl(u + 2));
        ASSERT_NE(hidden, nullptr) << u;
        EXPECT_EQ(hidden->SlotText(0), "") << u;
        EXPECT_EQ(hidden->SlotText(100), "") << u;
    }
    EXPECT_EQ(process.GetControl(7)->GetName(), "5: Threshold \nThres\nThr\n");
}

TEST(TinypressControls, ProbingKeepsTheFactoryProgram) {
    SKIP_WITHOUT_TINYPRESS();
    CPluginWrapper reference;
    ASSERT_TRUE(reference.LoadLibrary(tinypressPath().c_str()));
    TestGroup group;
    CWrapperNRTXProcess process(group.group, group.type, tinypressPath());
    for (int u = 0; u < 34; ++u)
        EXPECT_EQ(process.Wrapper().GetParameter(u), reference.GetParameter(u)) << u;
}

}  // namespace
