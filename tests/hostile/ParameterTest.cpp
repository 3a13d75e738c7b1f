// Automation a careless or hostile host may send: NaN, infinities, values far outside 0..1 and
// indices outside the parameter range. Every stored value must stay a number in 0..1, every
// read-out text must stay short, and the audio must stay finite afterwards.
#include <cfloat>
#include <climits>
#include <cstring>

#include "hostile/HostileRig.h"

namespace hostile {
namespace {

const float kHostileValues[] = {kNaN,   -kNaN,  kInf,  -kInf,      -1.0f,  2.0f,    1e30f,
                                -1e30f, 1e-45f, -0.0f, 1.0000001f, -1e-7f, FLT_MAX, -FLT_MAX};
const VstInt32 kHostileIndices[] = {-1, INT_MIN, INT_MAX, 1000, 41, 54, 55, 64};

class ParameterTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ParameterTest, HostileValuesLeaveEveryParameterANumberInRange) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    plugin->resume();
    int cases = 0;
    for (VstInt32 i = 0; i < plugin->numParams(); ++i)
        for (float v : kHostileValues) {
            plugin->setParameter(i, v);
            ++cases;
            const float now = plugin->getParameter(i);
            ASSERT_TRUE(now >= 0.0f && now <= 1.0f)
                << "index " << i << " value " << v << " -> " << now;
            const std::string text = plugin->parameterDisplay(i);
            // The published read-out buffer is 8 characters plus the terminator; hosts give
            // more, but an overlong text means the value escaped its mapping.
            EXPECT_LE(text.size(), 24u) << "index " << i << " value " << v << ": " << text;
        }
    for (VstInt32 i : kHostileIndices)
        for (float v : kHostileValues) {
            plugin->setParameter(i, v);
            ++cases;
            const float now = plugin->getParameter(i);
            EXPECT_TRUE(now == now) << "index " << i;
        }
    RecordProperty("cases", cases);

    // Whatever was accepted, the effect still produces finite audio.
    const Output out = run(*plugin, 44100, 512, [](int i) { return sine(i); });
    for (const auto& c : out.channels) EXPECT_EQ(firstNonFinite(c), -1);
}

// Not-a-number and infinities are ignored; finite values outside 0..1 act as the nearest end.
TEST_P(ParameterTest, NonFiniteIsIgnoredAndFiniteIsClamped) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    for (VstInt32 i = 0; i < plugin->numParams(); ++i) {
        plugin->setParameter(i, 1.0f);
        const float atOne = plugin->getParameter(i);
        plugin->setParameter(i, 0.0f);
        const float atZero = plugin->getParameter(i);
        plugin->setParameter(i, 0.25f);
        const float before = plugin->getParameter(i);
        for (float v : {kNaN, kInf, -kInf}) {
            plugin->setParameter(i, v);
            EXPECT_EQ(plugin->getParameter(i), before) << "index " << i << " value " << v;
        }
        plugin->setParameter(i, 7.0f);
        EXPECT_EQ(plugin->getParameter(i), atOne) << "index " << i;
        plugin->setParameter(i, -3.0f);
        EXPECT_EQ(plugin->getParameter(i), atZero) << "index " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, ParameterTest, ::testing::Values("grandpress", "tinypress"));

}  // namespace
}  // namespace hostile
