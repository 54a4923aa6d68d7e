#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

TEST(AnsiCodePage, AsciiAndLatinOneBytesKeepTheirValue) {
    EXPECT_EQ(AnsiToWide("Bench A-7"), u"Bench A-7");
    EXPECT_EQ(AnsiToWide(""), u"");
    EXPECT_EQ(AnsiToWide("\xA0\xE9\xFF"), u"\u00A0\u00E9\u00FF");
    // An embedded NUL is a character like any other here; the text fields stop before it.
    EXPECT_EQ(AnsiToWide(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(AnsiCodePage, HighControlRangeFollowsTheCodePageTable) {
    EXPECT_EQ(AnsiToWide("\x80"), u"\u20AC");
    EXPECT_EQ(AnsiToWide("\x8A\x8C\x8E"), u"\u0160\u0152\u017D");
    EXPECT_EQ(AnsiToWide("\x93\x94\x96\x97"), u"\u201C\u201D\u2013\u2014");
    EXPECT_EQ(AnsiToWide("\x99\x9F"), u"\u2122\u0178");
}

TEST(AnsiCodePage, UnassignedBytesMapToTheSameCodePoints) {
    EXPECT_EQ(AnsiToWide("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
}

TEST(AnsiCodePage, EveryByteGivesOneCodeUnit) {
    std::string strAll;
    for (int b = 1; b < 256; ++b) {
        strAll.push_back(static_cast<char>(b));
    }
    const std::u16string strWide = AnsiToWide(strAll);
    ASSERT_EQ(strWide.size(), strAll.size());
    for (int b = 1; b < 256; ++b) {
        const char16_t c = strWide[static_cast<std::size_t>(b - 1)];
        if (b < 0x80 || b > 0x9F) {
            EXPECT_EQ(c, b);
        } else {
            // Only the five unassigned bytes stay below U+0100 in this range.
            const bool bUnassigned = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
            EXPECT_EQ(c < 0x100, bUnassigned) << b;
        }
    }
}
