#include "text/homepage_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* typed;
    const char* address;
};

// One row per way an address arrives: typed, copied from a browser, from a chat, from a document.
const Case kCases[] = {
    {"http://weibo.example/u/1000000001", "http://weibo.example/u/1000000001"},
    {"  http://weibo.example/u/1\r\n", "http://weibo.example/u/1"},
    {"\t\n http://weibo.example/u/1 \t", "http://weibo.example/u/1"},
    {"weibo.example/u/1", "http://weibo.example/u/1"},
    {" \r\nweibo.example/u/1?from=myfollow_all\n", "http://weibo.example/u/1?from=myfollow_all"},
    {"https://weibo.example/u/1", "https://weibo.example/u/1"},
    {"HTTP://Weibo.Example/u/1", "HTTP://Weibo.Example/u/1"},
    // A "://" further on is no scheme.
    {"weibo.example/u/1?from=http://x.example/", "http://weibo.example/u/1?from=http://x.example/"},
    // The full-width space a Chinese input method types.
    {"\u3000weibo.example/u/1\u3000\u3000", "http://weibo.example/u/1"},
    // Blanks inside the address are its own.
    {" weibo.example/u/a b ", "http://weibo.example/u/a b"},
    // A name in Chinese: its last byte is not a blank even when it equals one's byte.
    {"weibo.example/n/\u554A\u3000", "http://weibo.example/n/\u554A"},
    {"weibo.example/n/\u7AD9", "http://weibo.example/n/\u7AD9"},
    {"", ""},
    {" \t\r\n\u3000", ""},
};

} // namespace

TEST(HomepageAddress, BlanksAroundGoAndAMissingSchemeIsHttp)
{
    for (const Case& row : kCases) EXPECT_EQ(cleanHomepageAddress(row.typed), row.address) << row.typed;
}

TEST(HomepageAddress, ATrailByteThatLooksLikeAWideSpaceIsKept)
{
    // "\xB0\xA1" is one character, then "\xA1\xA1" the full-width space: only the space goes.
    EXPECT_EQ(cleanHomepageAddress("a.example/\xB0\xA1\xA1\xA1"), "http://a.example/\xB0\xA1");
    // "\xA1\xA1" inside the address, after a character whose trail byte is "\xA1".
    EXPECT_EQ(cleanHomepageAddress("a.example/\xB0\xA1\xA1\xA1x"), "http://a.example/\xB0\xA1\xA1\xA1x");
    // A lone lead byte at the very end is kept as it is.
    EXPECT_EQ(cleanHomepageAddress("a.example/\xB0"), "http://a.example/\xB0");
}
