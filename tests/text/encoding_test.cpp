#include "text/encoding.h"

#include <gtest/gtest.h>

TEST(Encoding, EmptyTextConvertsToEmptyText)
{
    const std::wstring wide = toUtf16("");
    EXPECT_TRUE(wide.empty());
    EXPECT_EQ(wide.c_str()[0], L'\0');
    EXPECT_EQ(toNarrow(L""), "");
}

TEST(Encoding, ChineseLiteralsAreCodePage936Bytes)
{
    // Narrow literals are compiled to GBK, which is what every conversion below relies on.
    EXPECT_EQ(std::string("中文"), std::string("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(toUtf16("中文"), std::wstring(L"\u4E2D\u6587"));
    EXPECT_EQ(toNarrow(L"\u4E2D\u6587"), "中文");
}

TEST(Encoding, RoundTripKeepsMixedText)
{
    const std::string mixed = "  状态:等待操作！ abc 123 ~";
    EXPECT_EQ(toNarrow(toUtf16(mixed)), mixed);
}

TEST(Encoding, CharactersOutsideTheCodePageBecomeItsDefaultCharacter)
{
    // U+0E01 (Thai) has no GBK byte sequence.
    EXPECT_EQ(toNarrow(L"a\u0E01b"), "a?b");
}

TEST(Encoding, SurrogatePairSurvivesUtf8)
{
    const std::wstring wide = toUtf16("\xF0\x9F\x98\x80", kUtf8CodePage);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
    EXPECT_EQ(toNarrow(wide, kUtf8CodePage), "\xF0\x9F\x98\x80");
}

TEST(Encoding, Utf8PageTextBecomesProgramText)
{
    EXPECT_EQ(utf8ToNarrow("\xE4\xB8\xAD\xE6\x96\x87 ok"), "中文 ok");
}

TEST(Encoding, UnknownCodePageGivesEmptyText)
{
    EXPECT_TRUE(toUtf16("abc", 12345).empty());
    EXPECT_TRUE(toNarrow(L"abc", 12345).empty());
}

TEST(Encoding, EmbeddedZeroIsKeptAsAUnit)
{
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(toUtf16(withZero), std::wstring(L"a\0b", 3));
}
