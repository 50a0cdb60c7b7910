#include "text/json_document.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* text;
    bool ok;
    const char* compact;  // what the tree writes back as
};

void expectParse(const ParseCase& c)
{
    JsonDocument doc;
    EXPECT_EQ(doc.Parse(c.text, true), c.ok) << c.text;
    EXPECT_EQ(doc.ToJson(), c.compact) << c.text;
}

} // namespace

TEST(JsonReader, StructuresAndFailures)
{
    // Nesting up to kJsonMaxDepth (10,000 levels) reads; one level more is refused.
    const std::string atLimit = std::string(10000, '[') + std::string(10000, ']');
    const std::string pastLimit = std::string(10001, '[') + std::string(10001, ']');
    std::string objectsAtLimit, objectsPastLimit;
    for (int i = 0; i < 10000; ++i) objectsAtLimit += "{\"a\":";
    objectsAtLimit += "1" + std::string(10000, '}');
    objectsPastLimit = "[" + objectsAtLimit + "]";
    const ParseCase cases[] = {
        {"{}", true, "{}"},
        {"[]", true, "[]"},
        {"[ ]", true, "[]"},
        {"[1,]", false, "[]"},
        {"[1, ]", false, "[]"},
        {"[,]", false, "[]"},
        {"[1,,2]", true, "[1,2]"},
        {"{\"a\":1]", true, "[1]"},
        {"{\"a\":[1,2}", false, "{}"},
        {"{\"a\":1}}", true, "{\"a\":1}"},
        {"{\"a\":1}{\"b\":2}", true, "{\"a\":1,\"b\":2}"},
        {"123", true, "{}"},
        {"\"abc\"", false, "{}"},
        {"{\"a\":1,}", true, "{\"a\":}"},
        {"{\"a\":}", true, "{\"a\":}"},
        {"{1:2}", false, "{}"},
        {"[\"a\":1]", false, "[]"},
        {"{{}}", false, "{}"},
        {"{\"a\":1,\"a\":2,\"b\":3}", true, "{\"a\":2,\"b\":3}"},
        {"[[1,[2,[3]]],{\"k\":[]}]", true, "[[1,[2,[3]]],{\"k\":[]}]"},
        {"{\"a\":{\"b\":{\"c\":null}},\"d\":[true,false]}", true, "{\"a\":{\"b\":{\"c\":null}},\"d\":[true,false]}"},
        {"{\"a\":1,[2]}", true, "{\"a\":[2]}"},
        {atLimit.c_str(), true, atLimit.c_str()},
        {pastLimit.c_str(), false, "[]"},
        {objectsAtLimit.c_str(), true, objectsAtLimit.c_str()},
        {objectsPastLimit.c_str(), false, "[]"},
    };
    for (const ParseCase& c : cases) expectParse(c);
}

TEST(JsonReader, RunsOfCommasKeepStoringOverTheLastKey)
{
    const ParseCase cases[] = {
        {"{\"a\":1,,,}", true, "{\"a\":}"},
        {"{\"a\":,,x,,,y}", true, "{\"a\":y}"},
        {"{\"a\":,,\"b\":,,[1]}", true, "{\"a\":,\"b\":[1]}"},
        {"{\"a\":,,{\"c\":,,},\"b\":2}", true, "{\"a\":{\"c\":},\"b\":2}"},
        {"{\"a\":,,[1],,}", false, "{}"},  // the key went with the array
        {"[{\"a\":,,},{\"a\":,,,}]", true, "[{\"a\":},{\"a\":}]"},
        {"{\"a\":,, 'q' ,,}", true, "{\"a\":,\"q\":}"},  // a quote after a comma starts a new key
    };
    for (const ParseCase& c : cases) expectParse(c);
}

TEST(JsonReader, JsonpWrappersAreSkipped)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("STK_123456({\"retcode\":20000000,\"msg\":\"succ\"});", true));
    EXPECT_EQ(doc.GetInteger("retcode"), 20000000);
    EXPECT_EQ(doc.GetText("msg"), "succ");
    ASSERT_TRUE(doc.Parse("window.cb && cb([1,2]) ;\r\n", true));
    EXPECT_EQ(doc.ToJson(), "[1,2]");
}

TEST(JsonReader, ScalarsAndTheirKinds)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\": 1 ,\"b\":1.0,\"c\":-,\"d\":1e3,\"e\":0x10,\"f\":True,\"g\":tr ue,\"h\":1 000,"
                          "\"i\":null,\"j\":\"s\",\"k\":-12}",
                          true));
    EXPECT_EQ(doc.GetType("a"), 2);
    EXPECT_EQ(doc.GetRawText("a"), "1");
    EXPECT_EQ(doc.GetType("b"), 1);
    EXPECT_EQ(doc.GetRawText("b"), "1.0");
    EXPECT_EQ(doc.GetFloat("b"), 1.0);
    EXPECT_EQ(doc.GetType("c"), 2);
    EXPECT_EQ(doc.GetInteger("c"), 0);
    EXPECT_EQ(doc.GetType("d"), 1);
    EXPECT_EQ(doc.GetFloat("d"), 1000.0);
    EXPECT_EQ(doc.GetType("e"), -1);
    EXPECT_EQ(doc.GetRawText("e"), "0x10");
    EXPECT_EQ(doc.GetType("f"), -1);
    EXPECT_EQ(doc.GetRawText("f"), "True");
    EXPECT_TRUE(doc.GetBool("g"));
    EXPECT_EQ(doc.GetInteger("h"), 1000);
    EXPECT_EQ(doc.GetType("i"), 0);
    EXPECT_EQ(doc.GetType("j"), 4);
    EXPECT_EQ(doc.GetInteger("k"), -12);
}

TEST(JsonReader, QuotesAndEscapes)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{'a':'b', \"c\":\"it's\", 'd':'say \"hi\"'}", true));
    EXPECT_EQ(doc.GetText("a"), "b");
    EXPECT_EQ(doc.GetText("c"), "it's");
    EXPECT_EQ(doc.GetText("d"), "say \"hi\"");

    ASSERT_TRUE(doc.Parse(R"({"q":"x\"y","b":"x\\","n":"\u4e2d\u6587","s":"a\/b\n"})", true));
    EXPECT_EQ(doc.GetText("q"), "x\"y");
    EXPECT_EQ(doc.GetText("b"), "x\\");
    EXPECT_EQ(doc.GetText("n"), "中文");
    EXPECT_EQ(doc.GetText("s"), "a/b\n");

    // Without the flag \u stays as written.
    ASSERT_TRUE(doc.Parse(R"({"n":"\u4e2d"})", false));
    EXPECT_EQ(doc.GetText("n"), "\\u4e2d");

    // Escaped keys are decoded too.
    ASSERT_TRUE(doc.Parse(R"({"k\u0031":1,"":2})", true));
    EXPECT_EQ(doc.GetInteger("k1"), 1);
    EXPECT_TRUE(doc.HasMember("", ""));
}

TEST(JsonReader, SurrogatePairsBecomeOneCharacter)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(R"({"e":"\ud83d\ude00"})", true));
    EXPECT_EQ(doc.GetTextW(L"e"), std::wstring(L"\xD83D\xDE00"));
}

TEST(JsonReader, EmptyTextKeepsTheTreeAndFailureEmptiesIt)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1}", true));
    EXPECT_TRUE(doc.Parse("", true));
    EXPECT_EQ(doc.GetInteger("a"), 1);
    EXPECT_FALSE(doc.Parse("{\"b\":[", true));
    EXPECT_EQ(doc.ToJson(), "{}");
    EXPECT_EQ(doc.GetType(), 6);
}

TEST(JsonReader, ChineseTextThroughCodePage936)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"caption\":\"相册 一\"}"));
    EXPECT_EQ(doc.GetText("caption"), "相册 一");
}
