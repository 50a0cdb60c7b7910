#include "text/json_document.h"

#include <gtest/gtest.h>

TEST(JsonDocument, ReadsTheServiceAnswers)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"retcode\":20000000,\"msg\":\"ok\"}", true));
    EXPECT_EQ(doc.GetInteger("retcode"), 20000000);
    EXPECT_EQ(doc.GetText("msg"), "ok");
}

TEST(JsonDocument, KindsOfMembers)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"s\":\"123\",\"i\":12,\"f\":1.5,\"b\":true,\"n\":null}", true));
    EXPECT_EQ(doc.GetType("s"), 4);
    EXPECT_EQ(doc.GetType("i"), 2);
    EXPECT_EQ(doc.GetType("f"), 1);
    EXPECT_EQ(doc.GetType("b"), 3);
    EXPECT_EQ(doc.GetType("n"), 0);
    EXPECT_EQ(doc.GetType("missing"), 0);  // created as Null by the read
    EXPECT_EQ(doc.GetText("i"), "");
    EXPECT_EQ(doc.GetRawText("i"), "12");
    EXPECT_EQ(doc.GetInteger("s"), 0);
    EXPECT_FALSE(doc.GetBool("s"));
    EXPECT_EQ(doc.GetRawText("b"), "true");
    EXPECT_EQ(doc.GetRawText("n"), "null");
    EXPECT_EQ(doc.GetRawText("s"), "");
}

TEST(JsonDocument, FloatsTruncateTowardZero)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":3.99,\"b\":-3.99,\"c\":1e300}", true));
    EXPECT_EQ(doc.GetInteger("a"), 3);
    EXPECT_EQ(doc.GetInteger("b"), -3);
    EXPECT_EQ(doc.GetInteger("c"), INT64_MAX);
}

TEST(JsonDocument, ReadsCreateWhatIsMissing)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"data\":\"x\"}", true));
    EXPECT_EQ(doc.GetText("data.alt"), "");
    EXPECT_EQ(doc.ToJson(), "{\"data\":{\"alt\":null}}");

    ASSERT_TRUE(doc.Parse("{}", true));
    EXPECT_EQ(doc.GetInteger("data.total"), 0);
    EXPECT_EQ(doc.ToJson(), "{\"data\":{\"total\":null}}");
}

TEST(JsonDocument, ReadingPastTheEndExtendsTheArray)
{
    std::string text = "{\"data\":{\"photo_list\":[";
    for (int i = 0; i < 32; ++i) text += (i ? "," : "") + std::string("{\"pic_host\":\"h\"}");
    text += "]}}";
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(text, true));
    EXPECT_EQ(doc.GetCount("data.photo_list"), 32);
    EXPECT_EQ(doc.GetText("data.photo_list.[3].pic_host"), "h");
    EXPECT_EQ(doc.GetText("data.photo_list[3].pic_host"), "h");
    EXPECT_EQ(doc.GetText("data.photo_list.[40].pic_host"), "");
    EXPECT_EQ(doc.GetCount("data.photo_list"), 41);
}

TEST(JsonDocument, NegativeIndexResolvesToNothing)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":[1]}", true));
    EXPECT_EQ(doc.GetText("a.[-1]"), "");
    EXPECT_EQ(doc.GetType("a.[-1]"), -1);
    EXPECT_FALSE(doc.SetInteger("a.[-1]", 5));
    EXPECT_FALSE(doc.Get("a.[-1]").HasRoot());
    EXPECT_EQ(doc.ToJson(), "{\"a\":[1]}");
}

TEST(JsonDocument, AbsurdIndexIsRefusedNotAllocated)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":[]}", true));
    EXPECT_EQ(doc.GetType("a.[2000000000]"), -1);
    EXPECT_EQ(doc.GetCount("a"), 0);
}

TEST(JsonDocument, PathSegments)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"\":{\"\":7},\"a\":[[1,2],[3,[4,5]]],\"crossDomainUrlList\":[\"u0\",\"u1\",\"u2\"]}", true));
    EXPECT_EQ(doc.GetInteger("."), 7);  // two empty names
    EXPECT_EQ(doc.GetInteger("a.[1].[1].[0]"), 4);
    EXPECT_EQ(doc.GetCount("a[1][0]"), 2);  // only the first bracket pair counts: a.[1]
    EXPECT_EQ(doc.GetText("crossDomainUrlList.[2]"), "u2");
    EXPECT_EQ(doc.GetInteger("a.[x].[1]"), 2);  // no digits read as 0
}

TEST(JsonDocument, PathCrossingAScalarTurnsItIntoAContainer)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":5}", true));
    EXPECT_EQ(doc.GetType("a.b"), 0);
    EXPECT_EQ(doc.ToJson(), "{\"a\":{\"b\":null}}");
    EXPECT_EQ(doc.GetType("a.[1]"), 0);
    EXPECT_EQ(doc.ToJson(), "{\"a\":[null,null]}");
}

TEST(JsonDocument, ExistsCreatesNothing)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"data\":{\"list\":[0,{\"x\":1}]}}", true));
    EXPECT_FALSE(doc.Exists("data.qrid"));
    EXPECT_TRUE(doc.Exists("data.list.[1].x"));
    EXPECT_FALSE(doc.Exists("data.list.[2]"));
    EXPECT_FALSE(doc.Exists("data.list.[-1]"));
    EXPECT_FALSE(doc.Exists(""));
    EXPECT_EQ(doc.ToJson(), "{\"data\":{\"list\":[0,{\"x\":1}]}}");
    JsonDocument empty;
    EXPECT_FALSE(empty.Exists("a"));
}

TEST(JsonDocument, DocumentWithoutRootAnswersMissing)
{
    JsonDocument doc;
    EXPECT_EQ(doc.GetType(), -1);
    EXPECT_EQ(doc.GetText("a"), "");
    EXPECT_EQ(doc.GetCount(), 0);
    EXPECT_FALSE(doc.SetString("a", "x"));
    EXPECT_EQ(doc.ToJson(), "");
    EXPECT_FALSE(doc.Clone().HasRoot());
}

TEST(JsonDocument, MembersKeepTheirPlace)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1,\"b\":2}", true));
    EXPECT_TRUE(doc.SetMember("", "a", JsonDocument::NewString("x")));
    EXPECT_EQ(doc.ToJson(), "{\"a\":\"x\",\"b\":2}");
    EXPECT_TRUE(doc.RemoveMember("", "a"));
    EXPECT_FALSE(doc.RemoveMember("", "a"));
    EXPECT_EQ(doc.ToJson(), "{\"b\":2}");
    std::vector<std::string> keys;
    doc.SetInteger("c", 3);
    EXPECT_EQ(doc.GetKeys("", keys), 2);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "c"}));
}

TEST(JsonDocument, SetMemberOnAnArrayRootMakesAnObject)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("[1,2]", true));
    EXPECT_TRUE(doc.SetMember("", "k", JsonDocument::NewInteger(1)));
    EXPECT_EQ(doc.ToJson(), "{\"k\":1}");
}

TEST(JsonDocument, ElementsAreExtendedAndReplaced)
{
    JsonDocument doc = JsonDocument::NewArray();
    EXPECT_TRUE(doc.SetElement("", 2, JsonDocument::NewInteger(7)));
    EXPECT_EQ(doc.ToJson(), "[null,null,7]");
    EXPECT_TRUE(doc.SetElement("", 0, JsonDocument::NewBool(true)));
    EXPECT_EQ(doc.ToJson(), "[true,null,7]");
    EXPECT_FALSE(doc.SetElement("", -1, JsonDocument::NewNull()));
    EXPECT_TRUE(doc.Append("", JsonDocument::NewString("s")));
    EXPECT_TRUE(doc.RemoveElement("", 1));
    EXPECT_FALSE(doc.RemoveElement("", 9));
    EXPECT_EQ(doc.ToJson(), "[true,7,\"s\"]");
    EXPECT_EQ(doc.GetElement("", 4).GetType(), 0);
    EXPECT_EQ(doc.GetCount(), 5);
    EXPECT_FALSE(doc.GetElement("", -1).HasRoot());
}

TEST(JsonDocument, SharedNodesSeeEachOthersChanges)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"data\":{\"n\":1}}", true));
    JsonDocument data = doc.Get("data");
    data.SetInteger("n", 2);
    EXPECT_EQ(doc.GetInteger("data.n"), 2);
    JsonDocument copy = doc;
    copy.SetInteger("data.m", 3);
    EXPECT_EQ(doc.GetInteger("data.m"), 3);
    EXPECT_EQ(data.GetParent().GetInteger("data.n"), 2);
    EXPECT_FALSE(doc.GetParent().HasRoot());

    std::vector<JsonDocument> children;
    EXPECT_EQ(doc.GetChildren("data", children), 2);
    children[0].SetString("", "changed");
    EXPECT_EQ(doc.GetText("data.n"), "changed");
}

TEST(JsonDocument, NodesOutliveTheirFirstDocument)
{
    JsonDocument inner;
    {
        JsonDocument doc;
        ASSERT_TRUE(doc.Parse("{\"a\":{\"b\":[1,2,3]}}", true));
        inner = doc.Get("a.b");
    }
    EXPECT_EQ(inner.GetCount(), 3);
    EXPECT_EQ(inner.ToJson(), "[1,2,3]");
    EXPECT_FALSE(inner.GetParent().HasRoot());  // the parent is gone and not pointed at
}

TEST(JsonDocument, CloneIsDeepAndReformatsNumbers)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1.50,\"b\":[{\"c\":\"d\"}],\"e\":07}", true));
    JsonDocument copy = doc.Clone();
    EXPECT_EQ(copy.GetRawText("a"), "1.5");
    EXPECT_EQ(copy.GetRawText("e"), "7");
    copy.SetString("b.[0].c", "changed");
    EXPECT_EQ(doc.GetText("b.[0].c"), "d");
    EXPECT_EQ(copy.ToJson(), "{\"a\":1.5,\"b\":[{\"c\":\"changed\"}],\"e\":7}");
}

TEST(JsonDocument, DetachAndCycles)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":[1,{\"x\":2},3],\"b\":4}", true));
    JsonDocument element = doc.Get("a.[1]");
    element.DetachFromParent();
    EXPECT_EQ(doc.ToJson(), "{\"a\":[1,3],\"b\":4}");
    EXPECT_EQ(element.ToJson(), "{\"x\":2}");
    JsonDocument b = doc.Get("b");
    b.DetachFromParent();
    EXPECT_EQ(doc.ToJson(), "{\"a\":[1,3]}");

    // A container can never be put inside itself.
    JsonDocument a = doc.Get("a");
    EXPECT_FALSE(a.Append("", doc));
    EXPECT_FALSE(doc.SetMember("", "self", doc));
    EXPECT_EQ(doc.ToJson(), "{\"a\":[1,3]}");
}

TEST(JsonDocument, ASharedNodeNeverTakesInAnAncestorOfAnyOwner)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":[]}", true));
    JsonDocument shared = JsonDocument::NewArray();
    ASSERT_TRUE(shared.Append("", JsonDocument::NewInteger(1)));
    ASSERT_TRUE(doc.Append("a", shared));
    JsonDocument other = JsonDocument::NewArray();
    ASSERT_TRUE(other.Append("", shared));  // the parent link now names `other` only

    EXPECT_FALSE(shared.Append("", doc));
    EXPECT_FALSE(shared.SetElement("", 0, doc));
    EXPECT_FALSE(shared.SetMember("", "up", doc.Get("a")));
    JsonDocument wrapper = JsonDocument::NewArray();
    ASSERT_TRUE(wrapper.Append("", doc));
    EXPECT_FALSE(shared.Append("", wrapper));

    // The last owner lets go; the first still holds it and still counts.
    ASSERT_TRUE(other.RemoveElement("", 0));
    EXPECT_FALSE(shared.Append("", doc));
    ASSERT_TRUE(doc.RemoveElement("a", 0));
    EXPECT_EQ(doc.ToJson(), "{\"a\":[]}");
    EXPECT_TRUE(shared.Append("", doc));  // no longer inside it
    EXPECT_EQ(shared.ToJson(), "[1,{\"a\":[]}]");
    EXPECT_EQ(doc.Clone().ToJson(), "{\"a\":[]}");
}

TEST(JsonDocument, ANodeIsAMemberOfOneObjectOnly)
{
    JsonDocument first, second;
    ASSERT_TRUE(first.Parse("{\"m\":{\"v\":1}}", true));
    second = JsonDocument::NewObject();
    EXPECT_FALSE(second.SetMember("", "n", first.Get("m")));
    EXPECT_TRUE(second.Append("list", first.Get("m")));  // arrays may share it
    EXPECT_EQ(second.ToJson(), "{\"list\":[{\"v\":1}]}");
    EXPECT_EQ(first.GetInteger("m.v"), 1);
}

TEST(JsonDocument, SortMembersBothWays)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"b\":1,\"a\":2,\"c\":3}", true));
    EXPECT_TRUE(doc.SortMembers(""));
    EXPECT_EQ(doc.ToJson(), "{\"a\":2,\"b\":1,\"c\":3}");
    EXPECT_TRUE(doc.SortMembers("", true));
    EXPECT_EQ(doc.ToJson(), "{\"c\":3,\"b\":1,\"a\":2}");
    EXPECT_FALSE(doc.SortMembers("c"));
}

TEST(JsonDocument, ClearValueKeepsTheKind)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"o\":{\"a\":1},\"l\":[1],\"s\":\"x\",\"i\":5}", true));
    doc.ClearValue("o");
    doc.ClearValue("l");
    doc.ClearValue("s");
    doc.ClearValue("i");
    EXPECT_EQ(doc.ToJson(), "{\"o\":{},\"l\":[],\"s\":\"\",\"i\":0}");
    EXPECT_EQ(doc.GetType("i"), 2);
}

TEST(JsonDocument, LoadInstallsAFreshRoot)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("{\"a\":1}", true));
    JsonDocument old = doc;
    EXPECT_TRUE(doc.Load());
    EXPECT_EQ(doc.ToJson(), "{}");
    EXPECT_EQ(old.GetInteger("a"), 1);
    EXPECT_TRUE(doc.LoadW(L"[1]"));
    EXPECT_EQ(doc.ToJsonW(), L"[1]");
}

TEST(JsonDocument, WideVariantsMatchTheNarrowOnes)
{
    JsonDocument doc;
    ASSERT_TRUE(doc.ParseW(L"{\"\u540D\":\"\u503C\",\"n\":[1,2]}", true));
    EXPECT_EQ(doc.GetTextW(L"\u540D"), L"\u503C");
    EXPECT_EQ(doc.GetText("名"), "值");
    EXPECT_EQ(doc.GetCount(std::wstring_view(L"n")), 2);
    EXPECT_TRUE(doc.SetStringW(L"w", L"\u4E2D"));
    EXPECT_EQ(doc.GetText("w"), "中");
}
