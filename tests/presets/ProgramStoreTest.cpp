// The program store of the preset system: names, factory fill, program switching and the
// Power-in-all-programs rule, on a small engine that records what reaches it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "presets/TestEngine.h"
#include "support/CallbackRecorder.h"

namespace {

using testsupport::CallbackRecorder;
using testsupport::Engine;

std::string name(Engine& e) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    e.getProgramName(text);
    return text;
}

TEST(ProgramStore, FactoryNamesAndValues) {
    Engine e(nullptr);
    char text[64];
    ASSERT_TRUE(e.getProgramNameIndexed(0, 15, text));
    EXPECT_STREQ(text, "KickPump");
    ASSERT_TRUE(e.getProgramNameIndexed(0, 5, text));
    EXPECT_STREQ(text, "A Kind of Freshness");
    EXPECT_FALSE(e.getProgramNameIndexed(0, 16, text));
    EXPECT_FALSE(e.getProgramNameIndexed(0, -1, text));
    EXPECT_EQ(e.programStore()->value(7, 3), static_cast<float>((7 * 34 + 3) / 1000.0));
    EXPECT_EQ(e.getAeffect()->flags & effFlagsProgramChunks, effFlagsProgramChunks);
    EXPECT_EQ(e.getAeffect()->numPrograms, 1);
    EXPECT_EQ(e.getAeffect()->numParams, 34);
}

TEST(ProgramStore, NamesAreCutTo24Characters) {
    Engine e(nullptr);
    char longName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 characters
    e.setProgramName(longName);
    EXPECT_EQ(name(e), "ABCDEFGHIJKLMNOPQRSTUVWX");
    const char* bytes = e.programStore()->nameBytes(0);
    EXPECT_EQ(std::memcmp(bytes, longName, 24), 0);  // no terminator inside the record

    char shortName[] = "Mine";
    e.setProgramName(shortName);
    EXPECT_EQ(name(e), "Mine");
    for (int i = 4; i < 24; ++i) EXPECT_EQ(bytes[i], 0) << i;  // zero-filled
}

TEST(ProgramStore, RenameTellsTheHostAndKeepsNameOnNull) {
    CallbackRecorder host;
    Engine e(CallbackRecorder::callback);
    e.renameCurrentProgram("Renamed");
    EXPECT_EQ(name(e), "Renamed");
    e.renameCurrentProgram(nullptr);
    EXPECT_EQ(name(e), "Renamed");
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 2);
    char plain[] = "Plain";
    e.setProgramName(plain);  // the host's own rename is not echoed back to it
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 2);
}

TEST(ProgramStore, SelectProgramPushes34ValuesInOrderThenUpdatesDisplay) {
    CallbackRecorder host;
    Engine e(CallbackRecorder::callback);
    e.applied.clear();
    host.requests.clear();
    e.selectProgram(3);
    ASSERT_EQ(e.applied.size(), 34u);
    for (int i = 0; i < 34; ++i) {
        EXPECT_EQ(e.applied[i].index, i);
        EXPECT_EQ(e.applied[i].value, e.programStore()->value(3, i));
    }
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].opcode, audioMasterUpdateDisplay);
    EXPECT_EQ(e.getCurrentProgramIndex(), 3);
    EXPECT_FALSE(e.isProgramLoading());
}

TEST(ProgramStore, ChangesAreRecordedInTheCurrentProgram) {
    Engine e(nullptr);
    e.selectProgram(2);
    e.setParameter(5, 0.123f);
    e.selectProgram(4);
    EXPECT_NE(e.params[5], 0.123f);
    e.selectProgram(2);
    EXPECT_EQ(e.params[5], 0.123f);
    // Indices beyond the program reach the engine but never the store.
    e.setParameter(36, 0.9f);
    e.setParameter(34, 0.9f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_NE(e.programStore()->value(p, 33), 0.9f);
}

TEST(ProgramStore, PowerIsTheSameInEveryProgram) {
    Engine e(nullptr);
    e.selectProgram(3);
    e.setParameter(0, 0.0f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(e.programStore()->value(p, 0), 0.0f) << p;
    e.selectProgram(9);
    EXPECT_EQ(e.params[0], 0.0f);

    // Loading a program applies its own Power value but does not spread it.
    e.programStore()->setValue(5, 0, 1.0f);
    e.selectProgram(5);
    EXPECT_EQ(e.params[0], 1.0f);
    EXPECT_EQ(e.programStore()->value(6, 0), 0.0f);
}

TEST(ProgramStore, HostProgramNumberStaysZero) {
    Engine e(nullptr);
    e.selectProgram(3);
    AEffect* a = e.getAeffect();
    a->dispatcher(a, effSetProgram, 0, 0, nullptr, 0);
    a->dispatcher(a, effSetProgram, 0, 3, nullptr, 0);
    EXPECT_EQ(a->dispatcher(a, effGetProgram, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(e.getCurrentProgramIndex(), 3);
}

}  // namespace
