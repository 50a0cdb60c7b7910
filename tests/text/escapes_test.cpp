#include "text/escapes.h"

#include <gtest/gtest.h>

namespace {

std::wstring decoded(std::wstring text, bool unicode = true)
{
    decodeEscapes(text, unicode);
    return text;
}

} // namespace

TEST(DecodeEscapes, SimpleEscapes)
{
    struct Case {
        const wchar_t* input;
        const wchar_t* expected;
    } cases[] = {
        {L"plain", L"plain"},
        {LR"(a\"b)", L"a\"b"},
        {LR"(a\\b)", L"a\\b"},
        {LR"(a\/b)", L"a/b"},
        {LR"(\b\t\n\r\f)", L"\b\t\n\r\f"},
        // The unit a sequence produces is never read again: \\ then n is backslash, n.
        {LR"(\\n)", L"\\n"},
        {LR"(\\\n)", L"\\\n"},
        // Unknown letters and a quote after a backslash stay as two units.
        {LR"(\x\')", LR"(\x\')"},
        {LR"(end\)", LR"(end\)"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(decoded(c.input), c.expected) << c.input;
}

TEST(DecodeEscapes, UnicodeEscapesFollowTheFlag)
{
    EXPECT_EQ(decoded(LR"(\u4e2d)", true), L"\u4E2D");
    EXPECT_EQ(decoded(LR"(\u4E2D)", true), L"\u4E2D");
    EXPECT_EQ(decoded(LR"(\u4e2d)", false), LR"(\u4e2d)");
    // A surrogate pair comes out as its two units.
    EXPECT_EQ(decoded(LR"(\ud83d\ude00)", true), L"\xD83D\xDE00");
    EXPECT_EQ(decoded(LR"(\u0000x)", true), std::wstring(L"\0x", 2));
}

TEST(DecodeEscapes, ShortUnicodeEscapeStaysReadable)
{
    EXPECT_EQ(decoded(LR"(\u12)"), LR"(\u12)");
    EXPECT_EQ(decoded(LR"(\u12g4z)"), LR"(\u12g4z)");
    EXPECT_EQ(decoded(LR"(\u)"), LR"(\u)");
    EXPECT_EQ(decoded(LR"(a\u004)"), LR"(a\u004)");
}

TEST(DecodeEscapes, ZeroesTheFreedTail)
{
    wchar_t text[] = LR"(a\nb)";
    const size_t length = decodeEscapes(text, 4, true);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(text[3], L'\0');
    EXPECT_EQ(std::wstring(text), L"a\nb");
}

TEST(EncodeEscapes, EscapesOnlyWhatJsonNeeds)
{
    EXPECT_EQ(encodeEscapes(L"/\n"), LR"(\/\n)");
    EXPECT_EQ(encodeEscapes(L"a\"b\\c"), LR"(a\"b\\c)");
    EXPECT_EQ(encodeEscapes(L"\b\t\r\f"), LR"(\b\t\r\f)");
    // Other control units and non-ASCII text are copied unchanged; no \u is written.
    EXPECT_EQ(encodeEscapes(std::wstring(L"\x01\u4E2D", 2)), std::wstring(L"\x01\u4E2D", 2));
    EXPECT_EQ(encodeEscapes(L""), L"");
}

TEST(EncodeEscapes, RoundTripsThroughDecode)
{
    const std::wstring original = L"path/to \"x\"\\y\n\u4E2D";
    EXPECT_EQ(decoded(encodeEscapes(original)), original);
}
