#include "net/cookie_text.h"

#include <gtest/gtest.h>

TEST(SetCookiePairs, TakeThePairOnly)
{
    const std::string headers = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/; httponly\r\nset-cookie:b=2\r\n"
                                "SET-COOKIE: \xA1\xA1" "c=3;\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(setCookiePairs(headers), (std::vector<std::string>{"a=1", "b=2", "c=3"}));
}

TEST(SetCookiePairs, ALineWithoutLineEndEndsTheScan)
{
    EXPECT_EQ(setCookiePairs("Set-Cookie: a=1\r\nSet-Cookie: b=2"), (std::vector<std::string>{"a=1"}));
    EXPECT_TRUE(setCookiePairs("").empty());
}

TEST(Deletions, OnlyThreeSpellings)
{
    EXPECT_TRUE(isDeletion("a=deleted"));
    EXPECT_TRUE(isDeletion("a=DELETED"));
    EXPECT_TRUE(isDeletion("a=Deleted"));
    EXPECT_FALSE(isDeletion("a=DeLeTeD"));
    EXPECT_FALSE(isDeletion("deleted"));
}

TEST(HeaderValue, MatchesWholeNamesIgnoringCase)
{
    const std::string headers = "HTTP/1.1 302 Found\r\nX-Location-Hint: no\r\nlocation:   /next\r\n\r\n";
    EXPECT_EQ(headerValue(headers, "Location"), "/next");
    EXPECT_EQ(headerValue(headers, "HTTP/1.1 302 Found"), "");
    EXPECT_EQ(headerValue(headers, "Missing"), "");
}

TEST(CookieJar, AddReplaceAndKeepOrder)
{
    std::string jar = "; ";
    EXPECT_TRUE(jarAdd(jar, "a=1; b=2"));
    EXPECT_EQ(jar, "; a=1; b=2; ");
    EXPECT_TRUE(jarAdd(jar, "a=3;c=4"));
    EXPECT_EQ(jar, "; a=3; b=2; c=4; ");
    EXPECT_FALSE(jarAdd(jar, ""));
    EXPECT_FALSE(jarAdd(jar, "novalue"));
    EXPECT_EQ(jarText(jar), "a=3; b=2; c=4");
    EXPECT_EQ(jarValue(jar, "b", false), "2");
    EXPECT_EQ(jarValue(jar, "b", true), "b=2");
    EXPECT_EQ(jarValue(jar, "x", false), "");
}

TEST(CookieJar, RemoveLeavesTheRest)
{
    std::string jar = "; a=1; b=2; ";
    EXPECT_TRUE(jarRemove(jar, "a"));
    EXPECT_EQ(jar, "; b=2; ");
    EXPECT_FALSE(jarRemove(jar, "zz"));
    EXPECT_TRUE(jarRemove(jar, "b=anything"));
    EXPECT_EQ(jar, "; ");
}

TEST(CookieJar, MergeAppliesSetCookiesAndDeletions)
{
    std::string jar = "; a=1; ";
    EXPECT_TRUE(jarMerge(jar, {"b=2"}, false));
    EXPECT_EQ(jar, "; a=1; b=2; ");
    std::string kept = jar;
    EXPECT_FALSE(jarMerge(kept, {"a=deleted"}, true));
    EXPECT_EQ(kept, "; a=1; b=2; ");
    EXPECT_TRUE(jarMerge(jar, {"a=deleted"}, false));
    EXPECT_EQ(jar, "; b=2; ");
    EXPECT_FALSE(jarMerge(jar, {"c=Deleted"}, false));  // a deletion of an absent name adds nothing
    EXPECT_FALSE(jarMerge(jar, {"b="}, true));         // an empty value is ignored with ignoreDeletions
    EXPECT_TRUE(jarMerge(jar, {"b="}, false));
    EXPECT_EQ(jar, "; b=; ");
}

TEST(CookieJar, NamesArePrefixSafe)
{
    std::string jar = "; ab=1; ";
    EXPECT_TRUE(jarMerge(jar, {"a=2"}, false));
    EXPECT_EQ(jar, "; ab=1; a=2; ");
    EXPECT_TRUE(jarMerge(jar, {"a=deleted"}, false));
    EXPECT_EQ(jar, "; ab=1; ");
}

TEST(CookieJar, FromText)
{
    EXPECT_EQ(jarFromText("a=1"), "; a=1; ");
    EXPECT_EQ(jarFromText("; a=1;"), "; a=1; ");
    EXPECT_EQ(jarFromText("; a=1; "), "; a=1; ");
    EXPECT_EQ(jarFromText(""), "; ");
}

TEST(SplitCookieText, DropsLeadingBlanks)
{
    EXPECT_EQ(splitCookieText("a=1;  b=2 ;c"), (std::vector<std::string>{"a=1", "b=2 ", "c"}));
}
