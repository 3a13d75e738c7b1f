// An engine that cannot allocate stays loadable but inert. Allocation failure is simulated by a
// replacement of the non-throwing allocator, which the engine uses for everything it owns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "grandpress/GrandPress.h"
#include "support/CallbackRecorder.h"
#include "support/CaughtNotices.h"

namespace {
bool failNothrowAllocations = false;
}

// The replacements forward to the ordinary throwing allocation, so the ordinary delete (or a
// sanitizer's) later frees what it expects.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failNothrowAllocations) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (failNothrowAllocations) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    if (failNothrowAllocations) return nullptr;
    try {
        return ::operator new(size, align);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using grandpress::GrandPress;

TEST(GrandPressInert, AllocationFailureLeavesAnInertEffect) {
    testsupport::TemporaryConfigHome config;
    testsupport::CaughtNotices notices;
    failNothrowAllocations = true;
    auto* effect = new GrandPress(nullptr);
    failNothrowAllocations = false;
    const std::string said = notices.lines();
    EXPECT_NE(said.find("Cannot create QRX GrandPress"), std::string::npos);
    EXPECT_NE(said.find("Not enough memory"), std::string::npos);

    AEffect* e = effect->getAeffect();
    EXPECT_TRUE(effect->constructionFailed());
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 1);
    EXPECT_EQ(e->uniqueID, vstFourCC('-', '-', '-', '-'));
    EXPECT_EQ(e->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0), 0);

    // Without a program store the program calls answer without reading it.
    char name[32] = "x";
    e->dispatcher(e, effGetProgramName, 0, 0, name, 0);
    EXPECT_STREQ(name, "");
    void* chunk = nullptr;
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 0, 0, &chunk, 0), 0);
    EXPECT_EQ(chunk, nullptr);
    effect->selectProgram(3);
    e->setParameter(e, 5, 0.5f);
    EXPECT_EQ(e->getParameter(e, 5), 0.5f);

    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);  // suspend says it again
    EXPECT_EQ(notices.lines(), said + said);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
    float in[4] = {1, 2, 3, 4}, out[4] = {};
    float* ins[1] = {in};
    float* outs[1] = {out};
    e->processReplacing(e, ins, outs, 4);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

}  // namespace
