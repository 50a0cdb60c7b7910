#include "text/address_part.h"

#include <gtest/gtest.h>

#include "text/encoding.h"

TEST(AddressPart, ServiceIdsAndPictureNamesAreUnchanged)
{
    EXPECT_EQ(addressPart("3000000018"), "3000000018");
    EXPECT_EQ(addressPart("006KQm0Hgy1hx.jpg"), "006KQm0Hgy1hx.jpg");
    EXPECT_EQ(addressPart("a-b_c~d"), "a-b_c~d");
    EXPECT_EQ(addressPart(""), "");
}

TEST(AddressPart, NothingCanChangeTheAddressItSitsIn)
{
    // A query item, a fragment, a path segment, an escape of its own, a blank.
    EXPECT_EQ(addressPart("1&uid=2"), "1%26uid%3D2");
    EXPECT_EQ(addressPart("a?b#c"), "a%3Fb%23c");
    EXPECT_EQ(addressPart("..\\../x"), "..%5C..%2Fx");
    EXPECT_EQ(addressPart("%41 +"), "%2541%20%2B");
    EXPECT_EQ(addressPart(std::string_view("a\0b", 3)), "a%00b");
}

TEST(AddressPart, EveryCharacterIsSentAsItsUtf8Bytes)
{
    // Outside code page 936 (an emoji, Thai) as well as inside it: no character becomes "?".
    EXPECT_EQ(addressPart(toNarrow(L"\u65C5\u2708", kUtf8CodePage)), "%E6%97%85%E2%9C%88");
    EXPECT_EQ(addressPart(toNarrow(L"\U0001F697", kUtf8CodePage)), "%F0%9F%9A%97");
    EXPECT_EQ(addressPart(toNarrow(L"\u0E01", kUtf8CodePage)), "%E0%B8%81");
}
