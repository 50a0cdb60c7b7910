#include "app/core/text_cut.h"

#include <gtest/gtest.h>

TEST(TextCut, CutBetweenAndJsonp)
{
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123';x", "$CONFIG['oid']='", "';"), "123");
    EXPECT_EQ(cutBetween("no marker", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("a[b]c[d]", "[", "]"), "b");
    EXPECT_EQ(stripJsonp("STK_1({\"a\":\"x)y\"});"), "{\"a\":\"x)y\"}");  // a ")" inside a value stays
    EXPECT_EQ(stripJsonp("no wrapper"), "");
    EXPECT_EQ(stripJsonp(")("), "");
}
