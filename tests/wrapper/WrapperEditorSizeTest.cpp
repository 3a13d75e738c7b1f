// Editor embedding without a host window: size query, default rectangle, window class lifetime.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "tests/wrapper/TestSupport.h"

namespace {

using namespace wrapper_test;

TEST(EditorSize, DefaultRectangleGrowsSixtyPixelsPerSixParameters) {
    FakeLibrary fake;
    for (auto [params, height] :
         {std::pair{34, 360}, std::pair{1, 60}, std::pair{6, 60}, std::pair{7, 120}}) {
        fake.reset();
        fake.config().numParams = params;
        CPluginWrapper w;
        ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
        int width = 0, h = 0;
        w.GetEditorSize(&width, &h);
        EXPECT_EQ(width, 480) << params;
        EXPECT_EQ(h, height) << params;
    }
}

TEST(EditorSize, TinypressAnswersItsPanelWithTheEditorClosed) {
    SKIP_WITHOUT_TINYPRESS();
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    int width = 0, height = 0;
    w.GetEditorSize(&width, &height);
    EXPECT_EQ(width, 450);
    EXPECT_EQ(height, 378);
    EXPECT_FALSE(w.IsEditorOpen());
}

TEST(EditorWindowClass, StaysRegisteredWhileAnAdaptorLives) {
    ASSERT_EQ(CPluginWrapper::LivingCount(), 0);
    EXPECT_FALSE(CPluginWrapper::IsWindowClassRegistered());
    auto first = std::make_unique<CPluginWrapper>();
    EXPECT_TRUE(CPluginWrapper::IsWindowClassRegistered());
    auto second = std::make_unique<CPluginWrapper>();
    first.reset();
    EXPECT_TRUE(CPluginWrapper::IsWindowClassRegistered());
    second.reset();
    EXPECT_FALSE(CPluginWrapper::IsWindowClassRegistered());
}

}  // namespace
