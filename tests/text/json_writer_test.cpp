#include "text/json_document.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(JsonWriter, EmptyContainers)
{
    EXPECT_EQ(JsonDocument::NewObject().ToJson(), "{}");
    EXPECT_EQ(JsonDocument::NewObject().ToJson("", true), "{\r\n}");
    EXPECT_EQ(JsonDocument::NewArray().ToJson("", true), "[]");
}

TEST(JsonWriter, ScalarsAndStrings)
{
    JsonDocument doc = JsonDocument::NewObject();
    doc.SetString("slash", "a/b");
    doc.SetString("chinese", "中");
    doc.SetFloat("tiny", 0.0000001);
    doc.SetInteger("neg", -5);
    doc.SetString("empty", "");
    doc.SetBool("yes", true);
    doc.SetNull("nothing");
    EXPECT_EQ(doc.ToJson(),
              "{\"slash\":\"a\\/b\",\"chinese\":\"中\",\"tiny\":0,\"neg\":-5,\"empty\":\"\",\"yes\":true,\"nothing\":null}");
    EXPECT_EQ(doc.ToJsonW(L"chinese"), L"\"\u4E2D\"");
}

TEST(JsonWriter, FloatsAreWrittenFromTheirValue)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1.50,\"r\":0x1F}", true));
    EXPECT_EQ(doc.ToJson(), "{\"a\":1.5,\"r\":0x1F}");
}

TEST(JsonWriter, NonFiniteFloatsAreWrittenAsJson)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"big\":1e400,\"small\":-1e400}", true));
    doc.SetFloat("nan", std::nan(""));
    EXPECT_EQ(doc.ToJson(), "{\"big\":1e999,\"small\":-1e999,\"nan\":null}");
    JsonDocument again;
    ASSERT_TRUE(again.Parse(doc.ToJson(), true));
    EXPECT_EQ(again.GetFloat("big"), HUGE_VAL);
    EXPECT_EQ(again.GetFloat("small"), -HUGE_VAL);
    EXPECT_EQ(again.GetType("nan"), 0);
}

TEST(JsonWriter, PrettyObjectsInsideArraysIndentByDepth)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":[{\"b\":1}]}", true));
    EXPECT_EQ(doc.ToJson("", true), "{\r\n\t\"a\":[{\r\n\t\t\t\"b\":1\r\n\t\t}]\r\n}");
}

TEST(JsonWriter, PrettyNestedObjects)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":{\"b\":1,\"c\":[1,2]},\"d\":2}", true));
    EXPECT_EQ(doc.ToJson("", true), "{\r\n\t\"a\":{\r\n\t\t\"b\":1,\r\n\t\t\"c\":[1,2]\r\n\t},\r\n\t\"d\":2\r\n}");
}

TEST(JsonWriter, DuplicateKeysWriteOnceAtTheFirstPosition)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1,\"b\":2,\"a\":3}", true));
    EXPECT_EQ(doc.ToJson(), "{\"a\":3,\"b\":2}");
}

TEST(JsonWriter, RoundTripOfEscapes)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(R"({"k\"ey":"line\nbreak \\ \"q\" \t"})", true));
    const std::string written = doc.ToJson();
    JsonDocument again;
    ASSERT_TRUE(again.Parse(written, true));
    EXPECT_EQ(again.ToJson(), written);
    EXPECT_EQ(again.GetText("k\"ey"), "line\nbreak \\ \"q\" \t");
}
