// Network text must never crash, hang or overrun the reader, whatever it holds.
#include "tests/guarded_buffer.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "text/json_reader.h"

#include <gtest/gtest.h>
#include <random>
#include <windows.h>
#include <psapi.h>

namespace {

// A photo-list page as the photo service answers it (ASCII, \u escapes for Chinese).
std::string photoListAnswer(int photos)
{
    std::string text = "{\"result\":true,\"data\":{\"total\":33,\"photo_list\":[";
    for (int i = 0; i < photos; ++i) {
        if (i) text += ",";
        text += "{\"photo_id\":\"" + std::to_string(4000000 + i) +
                "\",\"pic_host\":\"http:\\/\\/wx1.example.cn\",\"pic_name\":\"abc" + std::to_string(i) +
                ".jpg\",\"caption_render\":\"\\u76f8\\u518c 'x' \\\"q\\\"\",\"timestamp\":1500000000,"
                "\"is_favorited\":false,\"count\":{\"likes\":3,\"comments\":null},\"tags\":[1,2.5,-3e2]}";
    }
    return text + "]},\"code\":0}";
}

} // namespace

TEST(JsonRobustness, MillionDeepNestingIsRefusedCleanly)
{
    // Nesting past kJsonMaxDepth (10,000) is refused like a malformed text: the root is left empty
    // and nothing built is kept, however deep the text goes.
    std::wstring deep(1000000, L'[');
    deep += std::wstring(1000000, L']');
    JsonDocument doc;
    EXPECT_FALSE(doc.ParseW(deep, true));
    EXPECT_EQ(doc.GetCount(), 0);
    EXPECT_EQ(doc.ToJsonW(), L"[]");
    JsonDocument copy = doc.Clone();
    EXPECT_EQ(copy.GetCount(), 0);

    // Unclosed: fails cleanly and frees everything built.
    JsonDocument open;
    EXPECT_FALSE(open.ParseW(std::wstring(1000000, L'['), true));
    EXPECT_EQ(open.GetCount(), 0);

    std::wstring objects;
    for (int i = 0; i < 200000; ++i) objects += L"{\"a\":";
    objects += L"1" + std::wstring(200000, L'}');
    EXPECT_FALSE(doc.ParseW(objects, true));
    EXPECT_EQ(doc.GetCount(), 0);

    // A tree built deeper than the limit is still written and copied whole, on any stack.
    JsonDocument built = JsonDocument::NewArray();
    JsonDocument inner = built;
    for (int i = 0; i < 100000; ++i) {
        JsonDocument next = JsonDocument::NewArray();
        ASSERT_TRUE(inner.Append("", next));
        inner = next;
    }
    const std::wstring written = built.ToJsonW();
    EXPECT_EQ(written, std::wstring(100001, L'[') + std::wstring(100001, L']'));
    EXPECT_EQ(built.Clone().ToJsonW(), written);
    JsonDocument reread;
    EXPECT_FALSE(reread.ParseW(written, true));  // its text nests too deep to read back
}

TEST(JsonRobustness, TextsDenseWithValuesAreRefusedAndOrdinaryOnesRead)
{
    // Values packed tighter than one per kJsonBytesPerValue bytes, past the free allowance, are
    // refused whatever their kind, on both the UTF-16 and the ASCII road.
    auto repeated = [](const std::string& value, size_t count) {
        std::string text = "[";
        for (size_t i = 0; i < count; ++i) text += (i ? "," : "") + value;
        return text + "]";
    };
    const size_t count = kJsonFreeValues * 3;
    const std::pair<std::string, size_t> items[] = {{"[]", 1}, {"0", 1}, {"{}", 1}, {"\"\"", 1}, {"[[[[0]]]]", 5}};
    for (const auto& [value, valuesInIt] : items) {
        SCOPED_TRACE(value);
        const std::string dense = repeated(value, count);
        ASSERT_LT(dense.size() / kJsonBytesPerValue + kJsonFreeValues, count * valuesInIt);
        JsonDocument doc;
        EXPECT_FALSE(doc.Parse(dense, true));
        EXPECT_EQ(doc.GetCount(), 0);
        EXPECT_FALSE(doc.ParseW(toUtf16(dense), true));
        EXPECT_EQ(doc.GetCount(), 0);
    }
    // The allowance exactly: 65,536 values and one more for every 10 bytes. Blanks before the
    // array give a text of 100,000 values the 344,640 bytes that allow them all; with one value
    // more (two bytes, no new allowance) it is refused.
    constexpr size_t kValues = 100000;
    constexpr size_t kAllowingSize = 10 * (kValues - 65536);
    const std::string blanks(kAllowingSize - repeated("0", kValues).size(), ' ');
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "UTF-16" : "ASCII");
        JsonDocument doc;
        const auto parse = [&](const std::string& text) { return wide ? doc.ParseW(toUtf16(text), true) : doc.Parse(text, true); };
        ASSERT_TRUE(parse(blanks + repeated("0", kValues)));
        EXPECT_EQ(doc.GetCount(), static_cast<int>(kValues));
        EXPECT_FALSE(parse(blanks + repeated("0", kValues + 1)));
        EXPECT_EQ(doc.GetCount(), 0);
    }
}

TEST(JsonRobustness, ReplacedValuesGiveTheirMemoryBack)
{
    // Each comma after a member stores an empty value over the last key, and a repeated key
    // replaces the member again: two million replacements must not keep two million nodes.
    std::wstring commas = L"{\"a\":1" + std::wstring(2000000, L',') + L"}";
    std::wstring repeated = L"{";
    for (int i = 0; i < 300000; ++i) repeated += L"\"k\":" + std::to_wstring(i) + L",";
    repeated += L"\"k\":\"last\"}";
    auto committed = [] {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<double>(counters.PagefileUsage) / 1048576.0;
    };
    JsonDocument doc;
    const double before = committed();
    ASSERT_TRUE(doc.ParseW(commas, true));
    EXPECT_EQ(doc.ToJson(), "{\"a\":}");
    EXPECT_LT(committed() - before, 40.0);  // kept, they would take over 200 MB
    ASSERT_TRUE(doc.ParseW(repeated, true));
    EXPECT_EQ(doc.ToJson(), "{\"k\":\"last\"}");
    EXPECT_LT(committed() - before, 40.0);
}

TEST(JsonRobustness, EveryPrefixOfARealAnswerEndsCleanly)
{
    const std::string answer = photoListAnswer(3);
    JsonDocument whole;
    ASSERT_TRUE(whole.Parse(answer, true));
    EXPECT_EQ(whole.GetText("data.photo_list.[2].caption_render"), "相册 'x' \"q\"");
    for (size_t length = 0; length < answer.size(); ++length) {
        JsonDocument doc;
        const bool ok = doc.Parse(answer.substr(0, length), true);
        // A cut answer leaves containers open: it must fail and leave the root empty.
        if (length > 0) {
            EXPECT_FALSE(ok) << length;
            EXPECT_EQ(doc.GetCount(), 0) << length;
        }
    }
}

TEST(JsonRobustness, RandomMutationsNeverCrashOrOverrun)
{
    const std::wstring base = [] {
        const std::string narrow = photoListAnswer(4);
        return std::wstring(narrow.begin(), narrow.end());
    }();
    const wchar_t tokens[] = L"{}[]\"',:\\u0 \t\r\n-+.eE1tfn";
    GuardedUnits memory(GuardedUnits::Guard::After, base.size() * 2 + 64);
    ASSERT_TRUE(memory.isValid());
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::wstring text = base;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0: text[at] = tokens[random() % (std::size(tokens) - 1)]; break;
            case 1: text.erase(at, 1 + random() % 16); break;
            case 2: text.insert(at, 1, tokens[random() % (std::size(tokens) - 1)]); break;
            default: text.resize(at); break;
            }
        }
        const wchar_t* placed = memory.place(text);
        JsonDocument doc;
        const bool ok = doc.ParseW(std::wstring_view(placed, text.size()), true);
        if (!ok) {
            ASSERT_EQ(doc.GetCount(), 0) << round;  // a failure leaves the root empty
        }
        // Reads, writes and copies of whatever came out must work too.
        (void)doc.GetText("data.photo_list.[1].pic_name");
        (void)doc.GetCount("data.photo_list");
        const std::wstring written = doc.ToJsonW();
        JsonDocument reread;
        ASSERT_TRUE(reread.ParseW(written, true) || written.empty()) << round;
        (void)doc.Clone().ToJsonW(L"", true);
    }
}
