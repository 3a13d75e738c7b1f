// UTF-8 <-> UTF-16 conversion and the message box that uses it.
#include <gtest/gtest.h>

#include "platform/MessageBox.h"
#include "platform/Utf.h"

namespace platform {
namespace {

struct Encoded {
    std::string utf8;
    std::u16string utf16;
};

// Boundary code points of each UTF-8 length, encoded by hand.
const Encoded kBoundaries[] = {
    {"\x7F", u"\x007F"},
    {"\xC2\x80", u"\x0080"},
    {"\xDF\xBF", u"\x07FF"},
    {"\xE0\xA0\x80", u"\x0800"},
    {"\xEF\xBF\xBF", u"\xFFFF"},
    {"\xF0\x90\x80\x80", {0xD800, 0xDC00}},                // U+10000, first supplementary
    {"\xF0\x9F\x8E\xB8", {0xD83C, 0xDFB8}},                // U+1F3B8 guitar
    {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},                // U+10FFFF, last code point
    {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // embedded NUL survives
    {"", u""},
};

TEST(Utf, BoundaryCodePointsConvertBothWaysStrictAndLenient) {
    for (const auto& e : kBoundaries) {
        SCOPED_TRACE(e.utf8);
        EXPECT_EQ(toUtf16(e.utf8), e.utf16);
        EXPECT_EQ(toUtf8(e.utf16), e.utf8);
        std::u16string u16;
        std::string u8;
        ASSERT_TRUE(tryToUtf16(e.utf8, u16));
        ASSERT_TRUE(tryToUtf8(e.utf16, u8));
        EXPECT_EQ(u16, e.utf16);
        EXPECT_EQ(u8, e.utf8);
    }
}

// Ill-formed UTF-8 and the lenient result: one U+FFFD per maximal ill-formed subpart.
TEST(Utf, IllFormedUtf8IsRefusedStrictlyAndReplacedLeniently) {
    const struct {
        std::string bytes;
        std::u16string lenient;
    } cases[] = {
        {"a\xE2\x82"
         "b",
         u"a\uFFFDb"},                                      // truncated 3-byte sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong 3-byte form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate D800
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\x80x", u"\uFFFDx"},                              // stray continuation byte
        {"\xFF", u"\uFFFD"},                                // never a UTF-8 byte
        {"\xF0\x9F\x8E", u"\uFFFD"},                        // truncated at end of input
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        std::u16string out = u"untouched";
        EXPECT_FALSE(tryToUtf16(c.bytes, out));
        EXPECT_EQ(out, u"untouched");
        EXPECT_EQ(toUtf16(c.bytes), c.lenient);
    }
}

TEST(Utf, UnpairedSurrogatesAreRefusedStrictlyAndReplacedLeniently) {
    const std::u16string lonelyHigh{u'a', char16_t(0xD83C), u'b'};
    const std::u16string lonelyLow{char16_t(0xDFB8)};
    const std::u16string swapped{char16_t(0xDFB8), char16_t(0xD83C)};
    const std::u16string highAtEnd{u'x', char16_t(0xDBFF)};
    std::string out = "untouched";
    for (const auto& s : {lonelyHigh, lonelyLow, swapped, highAtEnd}) {
        EXPECT_FALSE(tryToUtf8(s, out));
    }
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(toUtf8(lonelyHigh),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(toUtf8(swapped), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(highAtEnd), "x\xEF\xBF\xBD");
}

TEST(MessageBox, WritesCaptionAndTextAsUtf8LineToStderr) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the notice is a modal MessageBoxW that waits for a user";
#endif
    testing::internal::CaptureStderr();
    showMessageBox(u"Lizenz ung\u00FCltig \U0001F3B8", u"AmberGlow");
    showMessageBox(std::u16string{u'x', char16_t(0xD800)}, u"Broken");
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written,
              "AmberGlow: Lizenz ung\xC3\xBCltig \xF0\x9F\x8E\xB8\n"
              "Broken: x\xEF\xBF\xBD\n");
}

// Test programs catch the notices of the code under test: the catcher gets text and caption as
// given, and nothing else shows them meanwhile.
TEST(MessageBox, CatcherTakesTheNoticeInsteadOfTheUser) {
    static std::u16string caughtText, caughtCaption;
    static int calls = 0;
    catchMessageBoxes([](const std::u16string& text, const std::u16string& caption) {
        caughtText = text;
        caughtCaption = caption;
        ++calls;
    });
#ifndef _WIN32
    testing::internal::CaptureStderr();
#endif
    showMessageBox(u"Not enough memory \U0001F3B8", u"Cannot create");
#ifndef _WIN32
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
#endif
    catchMessageBoxes(nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(caughtText, u"Not enough memory \U0001F3B8");
    EXPECT_EQ(caughtCaption, u"Cannot create");
}

}  // namespace
}  // namespace platform
