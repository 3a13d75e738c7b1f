#include "tests/wrapper/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "platform/DynamicLibrary.h"
#include "wrapper/EditorWindow.h"

namespace wrapper_test {

std::string fakeEffectPath() {
    return QRX_FAKE_EFFECT;
}

std::string tinypressPath() {
    return std::string(QRX_BUILD_DIR) + "/tinypress" + platform::kLibrarySuffix;
}

std::string motorPath() {
    return std::string(QRX_BUILD_DIR) + "/Motor" + platform::kLibrarySuffix;
}

FakeLibrary::FakeLibrary() {
    library_ = platform::DynamicLibrary::load(fakeEffectPath());
    if (!library_) throw std::runtime_error("fake effect library missing");
    config_ = reinterpret_cast<FakeConfigProc>(library_->symbol("fakeEffectConfig"))();
    reset_ = reinterpret_cast<FakeResetProc>(library_->symbol("fakeEffectReset"));
    reset_();
}

FakeLibrary::~FakeLibrary() = default;

TestGroup::TestGroup(nrtx::TypeKind kind, int monoFormat, int keyFormat) {
    type.info.kind = kind;
    type.info.formatValues[0] = monoFormat;
    type.info.formatValues[1] = keyFormat;
    type.info.typeId = nrtx::fourCC("test");
}

nrtx::Instance& hostSide(CEffectProcess& process) {
    return process;
}

int render(CEffectProcess& process, const float* left, const float* right, float* outLeft,
           float* outRight, int frames, const float* key, int* consumed) {
    nrtx::RenderBlock block{};
    block.inputs[0] = left;
    block.inputs[1] = right;
    block.outputs[0] = outLeft;
    block.outputs[1] = outRight;
    block.keyInput = key;
    block.frames = frames;
    hostSide(process).render(&block);
    if (consumed) *consumed = block.consumed;
    return block.written;
}

void expectEditorFollowsZoom(std::uintptr_t parent) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    w.OpenEditor(parent);
    ASSERT_TRUE(w.IsEditorOpen());
    for (const auto& [factor, width, height] : {std::tuple{2.0f, 900, 756}, {1.0f, 450, 378}}) {
        SCOPED_TRACE(factor);
        // The host's scale request for the editor, as a host passes it to any VST 2 effect.
        EXPECT_EQ(w.Dispatch(effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'),
                             vstFourCC('A', 'e', 'C', 's'), nullptr, factor),
                  1);
        int x = 0, y = 0, w1 = 0, h1 = 0;
        ASSERT_TRUE(wrapper::windowGeometry(w.ChildWindow(), &x, &y, &w1, &h1));
        EXPECT_EQ(x, (1000 - width) / 2);
        EXPECT_EQ(y, 800 - height);
        EXPECT_EQ(w1, width + x) << "reaches the right edge";
        EXPECT_EQ(h1, height);
        int reportedWidth = 0, reportedHeight = 0;
        w.GetEditorSize(&reportedWidth, &reportedHeight);
        EXPECT_EQ(reportedWidth, width);
        EXPECT_EQ(reportedHeight, height);
        w.EditorIdle();
    }
    w.CloseEditor();
    // Closed, the editor keeps the factor for its next open, and reports that size.
    EXPECT_EQ(w.Dispatch(effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'),
                         vstFourCC('A', 'e', 'C', 's'), nullptr, 2.0f),
              1);
    EXPECT_FALSE(w.IsEditorOpen());
    int width = 0, height = 0;
    w.GetEditorSize(&width, &height);
    EXPECT_EQ(width, 900);
    EXPECT_EQ(height, 756);
}

}  // namespace wrapper_test
