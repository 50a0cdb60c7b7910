// Standard JSON documents must read back exactly; malformed ones must fail or pass cleanly.
#include "text/json_document.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(JsonConformance, StandardValuesReadBack)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(R"({
        "int": 0, "neg": -0, "big": 1234567890123456, "exp": 1E22, "small": 1e-7,
        "frac": -12.5e-1, "max": 1.7976931348623157e308, "min": 5e-324, "zero_frac": 0.0,
        "esc": "\"\\\/\b\f\n\r\t", "uni": "\u00e9\u4E2D\uD834\uDD1E", "nul": "a\u0000b",
        "empty": "", "": "empty key", "nested": {"arr": [[], {}, [[]], [{"a": null}]]},
        "ws":	[ 1 ,
          2 ] , "bools": [true, false, null]
    })",
                          true));
    EXPECT_EQ(doc.GetInteger("int"), 0);
    EXPECT_EQ(doc.GetInteger("neg"), 0);
    EXPECT_EQ(doc.GetInteger("big"), 1234567890123456LL);
    EXPECT_EQ(doc.GetFloat("exp"), 1e22);
    EXPECT_EQ(doc.GetFloat("small"), 1e-7);
    EXPECT_EQ(doc.GetFloat("frac"), -1.25);
    EXPECT_EQ(doc.GetFloat("max"), 1.7976931348623157e308);
    EXPECT_EQ(doc.GetFloat("min"), 5e-324);
    EXPECT_EQ(doc.GetType("zero_frac"), 1);
    EXPECT_EQ(doc.GetTextW(L"esc"), L"\"\\/\b\f\n\r\t");
    EXPECT_EQ(doc.GetTextW(L"uni"), L"\u00e9\u4E2D\xD834\xDD1E");
    EXPECT_EQ(doc.GetTextW(L"nul"), std::wstring(L"a\0b", 3));
    EXPECT_EQ(doc.GetText("empty"), "");
    EXPECT_EQ(doc.GetText(""), "");  // the root path; the empty key is reached with HasMember
    EXPECT_TRUE(doc.HasMember("", ""));
    EXPECT_EQ(doc.GetCount("nested.arr"), 4);
    EXPECT_EQ(doc.GetType("nested.arr.[3].[0].a"), 0);
    EXPECT_EQ(doc.GetInteger("ws.[1]"), 2);
    EXPECT_TRUE(doc.GetBool("bools.[0]"));
    EXPECT_FALSE(doc.GetBool("bools.[1]"));
    EXPECT_EQ(doc.GetType("bools.[2]"), 0);
}

TEST(JsonConformance, NumbersAreCorrectlyRounded)
{
    const char* numbers[] = {"0.1", "0.3", "2.2250738585072014e-308", "9007199254740993.0", "123.456e-78",
                             "1.00000000000000011102230246251565404236316680908203125", "-1e-10", "3.141592653589793"};
    for (const char* text : numbers) {
        JsonDocument doc;
        ASSERT_TRUE(doc.Parse(std::string("[") + text + "]", true)) << text;
        EXPECT_EQ(doc.GetFloat("[0]"), std::strtod(text, nullptr)) << text;
    }
}

TEST(JsonConformance, MalformedDocumentsEndCleanly)
{
    const char* malformed[] = {
        "[", "{", "[1", "{\"a\"", "{\"a\":", "{\"a\":1", "[\"unterminated]", "{\"a\" 1}", "[1 2]",
        "]", "}", "[}", "{]", ",", ":", "\"", "'", "\\", "[\"\\\"]", "{\"a\":\"\\u12\"}", "[\"\\uZZZZ\"]",
        "[1,]", "[,1]", "{,}", "{\"a\":1,,}", "[\"a\"\"b\"]", "[-]", "[.]", "[1e]", "[Infinity]", "[NaN]",
        "\xEF\xBB\xBF[1]", "[\x01]", "[1]x", "{\"a\":[}]", "[{]}", "[[[[[[[[[[", "]]]]]]]]",
    };
    for (const char* text : malformed) {
        JsonDocument doc;
        const bool ok = doc.Parse(text, true);
        if (!ok) {
            EXPECT_EQ(doc.GetCount(), 0) << text;
        }
        (void)doc.ToJson();
    }
}
