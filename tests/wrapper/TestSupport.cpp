#include "tests/wrapper/TestSupport.h"

#include <stdexcept>

#include "platform/DynamicLibrary.h"

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

}  // namespace wrapper_test
