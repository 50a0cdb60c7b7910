#include "text/text_buffer.h"

#include <gtest/gtest.h>

TEST(TextBuffer, StartsWithTwelveBytes)
{
    TextBuffer buffer;
    EXPECT_EQ(buffer.capacityBytes(), 12u);
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_EQ(buffer.take(), L"");
}

TEST(TextBuffer, GrowsByTheExactRule)
{
    TextBuffer buffer;
    // 5 units need 2 x 5 + 2 = 12 bytes: they fit.
    ASSERT_TRUE(buffer.append(L"abcde"));
    EXPECT_EQ(buffer.capacityBytes(), 12u);
    // One more needs 14: grow to 2 x 12 + 2 x 1 + 2 = 28.
    ASSERT_TRUE(buffer.append(L'f'));
    EXPECT_EQ(buffer.capacityBytes(), 28u);
    // 20 more need 2 x 26 + 2 = 54: grow to 2 x 28 + 40 + 2 = 98.
    ASSERT_TRUE(buffer.append(std::wstring(20, L'x')));
    EXPECT_EQ(buffer.capacityBytes(), 98u);
    EXPECT_EQ(buffer.take(), L"abcdef" + std::wstring(20, L'x'));
}

TEST(TextBuffer, KeepsContentAcrossManyGrowths)
{
    TextBuffer buffer;
    std::wstring expected;
    for (int i = 0; i < 5000; ++i) {
        const wchar_t unit = static_cast<wchar_t>(L'a' + i % 26);
        ASSERT_TRUE(buffer.append(unit));
        expected.push_back(unit);
    }
    EXPECT_EQ(buffer.take(), expected);
    EXPECT_GE(buffer.capacityBytes(), 2 * expected.size() + 2);
}
