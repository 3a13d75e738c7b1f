// The preset and bank byte images: exact offsets of what is written, and what loading does with
// native, reversed, foreign and mistyped images.
#include <gtest/gtest.h>

#include <cmath>

#include "presets/EditorFixture.h"

namespace {

using namespace testsupport;

class PresetImage : public EditorTest {};
class BankImage : public EditorTest {};

TEST_F(PresetImage, WritesIdTypeNameAndValuesAtTheirOffsets) {
    engine->selectProgram(3);
    char name[] = "Punchy";
    engine->setProgramName(name);
    engine->setParameter(7, 0.625f);
    Bytes image(166, 0xEE);  // one guard byte past the image
    editor->makePresetImage(image.data());

    const unsigned char header[] = {'t', 's', 'e', 'T', 0x21, 'P', 'u', 'n', 'c', 'h', 'y', 0};
    EXPECT_EQ(std::memcmp(image.data(), header, sizeof header), 0);
    for (int i = 11; i < 29; ++i) EXPECT_EQ(image[i], 0) << i;  // name zero-filled to 24
    for (int i = 0; i < 34; ++i) EXPECT_EQ(floatAt(image, 29 + 4 * i), store().value(3, i)) << i;
    EXPECT_EQ(floatAt(image, 29 + 4 * 7), 0.625f);
    EXPECT_EQ(image[165], 0xEE);
}

TEST_F(PresetImage, NativeImageFillsTheCurrentProgramAndReappliesIt) {
    engine->selectProgram(5);
    const auto before = records();
    engine->applied.clear();
    host.requests.clear();

    EXPECT_EQ(editor->loadPresetImage(handPreset(kId, "Hand built").data(), false),
              FileStatus::Done);
    EXPECT_EQ(engine->getCurrentProgramIndex(), 5);
    EXPECT_EQ(nameOf(5), "Hand built");
    for (int i = 0; i < 34; ++i) {
        EXPECT_EQ(store().value(5, i), handValue(0, i)) << i;
        EXPECT_EQ(engine->params[i], handValue(0, i)) << i;  // the engine took the values
    }
    EXPECT_EQ(engine->applied.size(), 34u);
    EXPECT_GE(host.count(audioMasterUpdateDisplay), 1);
    // Other programs untouched.
    const auto after = records();
    for (int k = 0; k < 16; ++k) {
        if (k == 5) continue;
        EXPECT_EQ(std::memcmp(&before[k], &after[k], sizeof(ProgramRecord)), 0) << k;
    }
}

TEST_F(PresetImage, FullLengthNameHasNoTerminatorAndReadsBackAs24Characters) {
    Bytes image = handPreset(kId, "");
    std::memcpy(&image[5], "ABCDEFGHIJKLMNOPQRSTUVWX", 24);
    image[29] = 'Y';  // first value byte follows directly; must not leak into the name
    ASSERT_EQ(editor->loadPresetImage(image.data(), false), FileStatus::Done);
    EXPECT_EQ(nameOf(0), "ABCDEFGHIJKLMNOPQRSTUVWX");
}

TEST_F(PresetImage, OtherByteOrderIsRecognisedAndReversalChoiceFlipsValuesAgain) {
    const Bytes reversedFile = otherOrder(handPreset(kId, "From the other side"));

    ASSERT_EQ(editor->loadPresetImage(reversedFile.data(), false), FileStatus::Done);
    EXPECT_EQ(nameOf(0), "From the other side");  // names are never reversed
    for (int i = 0; i < 34; ++i) EXPECT_EQ(store().value(0, i), handValue(0, i)) << i;

    // Asking for reversal on an image already recognised as reversed cancels it.
    ASSERT_EQ(editor->loadPresetImage(reversedFile.data(), true), FileStatus::Done);
    for (int i = 0; i < 34; ++i)
        EXPECT_EQ(std::memcmp(&engine->params[i], &reversedFile[29 + 4 * i], 4), 0) << i;
}

TEST_F(PresetImage, NativeImageLoadedReversedGetsEveryValueWordReversed) {
    const Bytes image = handPreset(kId, "Native");
    ASSERT_EQ(editor->loadPresetImage(image.data(), true), FileStatus::Done);
    EXPECT_EQ(nameOf(0), "Native");
    for (int i = 0; i < 34; ++i) {
        const float expected = swappedFloat(handValue(0, i));
        EXPECT_EQ(std::memcmp(&engine->params[i], &expected, 4), 0) << i;
    }
}

TEST_F(PresetImage, WrongTypeOrWrongPluginChangesNothing) {
    engine->selectProgram(2);
    const auto before = records();
    engine->applied.clear();
    host.requests.clear();

    EXPECT_EQ(editor->loadPresetImage(handPreset(kId, "x", 0x37).data(), false),
              FileStatus::WrongType);
    EXPECT_EQ(editor->loadPresetImage(handPreset(vstFourCC('O', 't', 'h', 'r'), "x").data(), false),
              FileStatus::WrongPlugin);
    const Bytes empty(165, 0);
    EXPECT_EQ(editor->loadPresetImage(empty.data(), false), FileStatus::WrongPlugin);

    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 2);
    EXPECT_TRUE(engine->applied.empty());
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 0);
}

TEST_F(BankImage, WritesAllSixteenRecordsAtTheirOffsets) {
    engine->selectProgram(15);
    engine->setParameter(33, 0.125f);
    Bytes image(2566, 0xEE);
    editor->makeBankImage(image.data());

    EXPECT_EQ(std::memcmp(image.data(), "tseT\x37", 5), 0);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(std::memcmp(&image[5 + 160 * k], store().nameBytes(k), 24), 0) << k;
        for (int i = 0; i < 34; ++i)
            EXPECT_EQ(floatAt(image, 29 + 160 * k + 4 * i), store().value(k, i)) << k << "," << i;
    }
    EXPECT_EQ(floatAt(image, 29 + 160 * 15 + 4 * 33), 0.125f);
    EXPECT_EQ(std::memcmp(&image[5 + 160 * 4], "Una Corda", 10), 0);
    EXPECT_EQ(image[2565], 0xEE);
}

TEST_F(BankImage, LoadsAllProgramsAndSelectsProgramZero) {
    engine->selectProgram(9);
    engine->applied.clear();
    ASSERT_EQ(editor->loadBankImage(handBank(kId).data(), false), FileStatus::Done);
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(nameOf(k), "Bank program " + std::to_string(k));
        for (int i = 0; i < 34; ++i) EXPECT_EQ(store().value(k, i), handValue(k, i));
    }
    // The last 34 values applied are program 0's.
    ASSERT_GE(engine->applied.size(), 34u);
    for (int i = 0; i < 34; ++i) EXPECT_EQ(engine->params[i], handValue(0, i)) << i;
}

TEST_F(BankImage, OtherByteOrderAndReversalChoice) {
    ASSERT_EQ(editor->loadBankImage(otherOrder(handBank(kId)).data(), false), FileStatus::Done);
    for (int k = 0; k < 16; ++k)
        for (int i = 0; i < 34; ++i) EXPECT_EQ(store().value(k, i), handValue(k, i));

    ASSERT_EQ(editor->loadBankImage(handBank(kId).data(), true), FileStatus::Done);
    for (int k = 0; k < 16; ++k)
        for (int i = 0; i < 34; ++i) {
            const float expected = swappedFloat(handValue(k, i));
            const float got = store().value(k, i);
            EXPECT_EQ(std::memcmp(&got, &expected, 4), 0) << k << "," << i;
        }
}

TEST_F(BankImage, BankOfAnotherPluginLeavesProgramsButSelectsProgramZero) {
    engine->selectProgram(7);
    const auto before = records();
    EXPECT_EQ(editor->loadBankImage(handBank(vstFourCC('Q', 'R', 't', 'p')).data(), false),
              FileStatus::WrongPlugin);
    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);

    engine->selectProgram(7);
    EXPECT_EQ(editor->loadBankImage(handBank(kId, 0x21).data(), false), FileStatus::WrongType);
    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);
}

TEST_F(BankImage, RoundTripBetweenTwoInstances) {
    engine->selectProgram(4);
    engine->setParameter(12, 0.875f);
    char name[] = "Twenty-four characters!!";
    engine->setProgramName(name);
    Bytes image(2565);
    editor->makeBankImage(image.data());

    Engine other(nullptr);
    auto* otherEditor = new CPresetSystemEditor(&other);
    ASSERT_EQ(otherEditor->loadBankImage(image.data(), false), FileStatus::Done);
    std::vector<ProgramRecord> got;
    for (int k = 0; k < 16; ++k) got.push_back(other.programStore()->record(k));
    EXPECT_TRUE(sameRecords(records(), got));
    Bytes again(2565);
    otherEditor->makeBankImage(again.data());
    EXPECT_EQ(again, image);
}

}  // namespace

// Damaged images (a value that is not a number) are refused before anything changes; finite
// values beyond 0..1 are stored clamped, as the engine plays them.
TEST_F(PresetImage, DamagedValuesAreRefusedAndOutOfRangeValuesClamped) {
    engine->selectProgram(4);
    const auto before = records();
    engine->applied.clear();
    Bytes damaged = handPreset(kId, "Damaged");
    putFloat(damaged, 29 + 4 * 20, std::nanf(""));
    EXPECT_EQ(editor->loadPresetImage(damaged.data(), false), FileStatus::DamagedValues);
    EXPECT_EQ(editor->loadPresetImage(otherOrder(damaged).data(), false),
              FileStatus::DamagedValues);
    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_TRUE(engine->applied.empty());

    Bytes wide = handPreset(kId, "Wide");
    putFloat(wide, 29 + 4 * 2, 3.0f);
    putFloat(wide, 29 + 4 * 3, -1e30f);
    ASSERT_EQ(editor->loadPresetImage(wide.data(), false), FileStatus::Done);
    EXPECT_EQ(store().value(4, 2), 1.0f);
    EXPECT_EQ(store().value(4, 3), 0.0f);
    EXPECT_EQ(store().value(4, 4), handValue(0, 4));
    EXPECT_EQ(engine->params[2], 1.0f);
}

TEST_F(BankImage, DamagedValuesAreRefusedAndOutOfRangeValuesClamped) {
    const auto before = records();
    Bytes damaged = handBank(kId);
    putFloat(damaged, 29 + 160 * 15 + 4 * 33, INFINITY);
    EXPECT_EQ(editor->loadBankImage(damaged.data(), false), FileStatus::DamagedValues);
    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);

    Bytes wide = handBank(kId);
    putFloat(wide, 29 + 160 * 7 + 4 * 1, 1.5f);
    ASSERT_EQ(editor->loadBankImage(wide.data(), false), FileStatus::Done);
    EXPECT_EQ(store().value(7, 1), 1.0f);
    EXPECT_EQ(store().value(7, 2), handValue(7, 2));
}
