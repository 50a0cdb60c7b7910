#include "ui/property_table.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// "p0", "p1", ...
std::string nameOf(int i)
{
    std::string name = "p";
    name += std::to_string(i);
    return name;
}

} // namespace

TEST(PropertyTable, AbsentNamesReadAsZero)
{
    PropertyTable table;
    EXPECT_EQ(table.get("hWnd"), 0);
    EXPECT_FALSE(table.has("hWnd"));
    ASSERT_TRUE(table.set("EnlableHover", 0));
    EXPECT_EQ(table.get("EnlableHover"), 0);
    EXPECT_TRUE(table.has("EnlableHover"));  // present with 0 is not absent
    EXPECT_TRUE(table.remove("EnlableHover"));
    EXPECT_FALSE(table.remove("EnlableHover"));
    EXPECT_FALSE(table.has("EnlableHover"));
}

TEST(PropertyTable, NamesAreExactAndCaseSensitive)
{
    PropertyTable table;
    table.set("OnClick", 1);
    table.set("onclick", 2);
    table.set("OnClick ", 3);
    EXPECT_EQ(table.get("OnClick"), 1);
    EXPECT_EQ(table.get("onclick"), 2);
    EXPECT_EQ(table.get("OnClick "), 3);
    table.set("OnClick", 4);
    EXPECT_EQ(table.get("OnClick"), 4);
    EXPECT_EQ(table.count(), 3);
}

TEST(PropertyTable, GrowsAndKeepsEveryValue)
{
    PropertyTable table;
    EXPECT_EQ(table.bucketCount(), 11);
    for (int i = 0; i < 8; ++i) table.set(nameOf(i), i);
    EXPECT_EQ(table.bucketCount(), 11);
    table.set("p8", 8);
    EXPECT_EQ(table.bucketCount(), 23);
    for (int i = 9; i < 500; ++i) table.set(nameOf(i), i);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(table.get(nameOf(i)), i);
    EXPECT_EQ(table.count(), 500);
}

TEST(PropertyTable, ValuesArePointerSized)
{
    PropertyTable table;
    const intptr_t wide = static_cast<intptr_t>(0x7FFF12345678LL);
    table.set("pointer", wide);
    EXPECT_EQ(table.get("pointer"), wide);
    EXPECT_EQ(PropertyTable::hashName("ab"), 97u * 31u + 98u);
}
