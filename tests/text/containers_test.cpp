#include "text/arena.h"
#include "text/member_table.h"
#include "text/pointer_list.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <windows.h>

namespace {

struct Item {
    int value = 0;
};

struct Member : MemberEntry {
    int value = 0;
};

std::vector<std::wstring> orderOf(const MemberTable& table) { return table.keys(); }

} // namespace

TEST(ElementList, GrowsFromEightToSeventeenOnTheNinthAppend)
{
    Item items[9];
    ElementList<Item> list;
    ASSERT_TRUE(list.isValid());
    EXPECT_EQ(list.capacity(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(list.append(&items[i]), i);
    EXPECT_EQ(list.capacity(), 8);
    EXPECT_EQ(list.append(&items[8]), 8);
    EXPECT_EQ(list.capacity(), 17);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(list.at(i), &items[i]);
}

TEST(ElementList, InsertAtFrontMakesAStack)
{
    Item a, b, c;
    ElementList<Item> stack(8, GetProcessHeap());
    EXPECT_EQ(stack.insertAt(0, &a), 0);
    EXPECT_EQ(stack.insertAt(0, &b), 0);
    EXPECT_EQ(stack.insertAt(0, &c), 0);
    EXPECT_EQ(stack.at(0), &c);
    EXPECT_TRUE(stack.removeAt(0));
    EXPECT_EQ(stack.at(0), &b);
    EXPECT_EQ(stack.at(1), &a);
}

TEST(ElementList, OutOfRangeIndexesChangeNothing)
{
    Item a;
    ElementList<Item> list;
    EXPECT_EQ(list.insertAt(1, &a), -1);
    EXPECT_EQ(list.insertAt(-1, &a), -1);
    EXPECT_FALSE(list.removeAt(0));
    EXPECT_EQ(list.at(0), nullptr);
    EXPECT_EQ(list.at(-1), nullptr);
    EXPECT_FALSE(list.setAt(0, &a));
    EXPECT_EQ(list.count(), 0);
}

TEST(ElementList, RemoveMovesLaterItemsDownAndClearKeepsCapacity)
{
    Item items[20];
    ElementList<Item> list;
    for (Item& item : items) list.append(&item);
    const int capacity = list.capacity();
    EXPECT_TRUE(list.removeAt(0));
    EXPECT_EQ(list.count(), 19);
    EXPECT_EQ(list.at(0), &items[1]);
    EXPECT_EQ(list.at(18), &items[19]);
    EXPECT_EQ(list.indexOf(&items[5]), 4);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), capacity);
}

TEST(MemberTable, HashCountsTheTerminatingZero)
{
    EXPECT_EQ(MemberTable::hashKey(L""), 0u);
    EXPECT_EQ(MemberTable::hashKey(L"a"), 97u * 31u);
    EXPECT_EQ(MemberTable::hashKey(L"ab"), (97u * 31u + 98u) * 31u);
}

TEST(MemberTable, NinthMemberGrowsTo23BucketsWithOrderIntact)
{
    Member members[40];
    MemberTable table(GetProcessHeap());
    ASSERT_TRUE(table.isValid());
    EXPECT_EQ(table.bucketCount(), 11);
    EXPECT_EQ(table.threshold(), 8);
    std::vector<std::wstring> expected;
    for (int i = 0; i < 8; ++i) {
        expected.push_back(L"key" + std::to_wstring(i));
        EXPECT_EQ(table.insertOrReplace(expected.back(), &members[i]), MemberTable::InsertResult::Inserted);
    }
    EXPECT_EQ(table.bucketCount(), 11);
    expected.push_back(L"key8");
    table.insertOrReplace(expected.back(), &members[8]);
    EXPECT_EQ(table.bucketCount(), 23);
    EXPECT_EQ(table.threshold(), 17);
    for (int i = 9; i < 40; ++i) {
        expected.push_back(L"key" + std::to_wstring(i));
        table.insertOrReplace(expected.back(), &members[i]);
    }
    EXPECT_EQ(table.bucketCount(), 95);  // 11 -> 23 -> 47 -> 95 at 8, 17 and 35 members
    EXPECT_EQ(orderOf(table), expected);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(table.find(expected[i]), &members[i]);
}

TEST(MemberTable, ReplaceKeepsPositionAndCount)
{
    Member a, b, c, newB;
    MemberTable table;
    table.insertOrReplace(L"a", &a);
    table.insertOrReplace(L"b", &b);
    table.insertOrReplace(L"c", &c);
    MemberEntry* replaced = nullptr;
    EXPECT_EQ(table.insertOrReplace(L"b", &newB, &replaced), MemberTable::InsertResult::Replaced);
    EXPECT_EQ(replaced, &b);
    EXPECT_EQ(b.key, nullptr);  // the key text moved to the new member
    EXPECT_EQ(table.count(), 3);
    EXPECT_EQ(orderOf(table), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(table.find(L"b"), &newB);
    EXPECT_EQ(table.order().at(1), &newB);
}

TEST(MemberTable, RemoveFirstOfThreeKeepsTheOthersInOrder)
{
    Member a, b, c;
    MemberTable table;
    table.insertOrReplace(L"a", &a);
    table.insertOrReplace(L"b", &b);
    table.insertOrReplace(L"c", &c);
    EXPECT_EQ(table.removeByKey(L"a"), &a);
    EXPECT_EQ(table.count(), 2);
    EXPECT_EQ(orderOf(table), (std::vector<std::wstring>{L"b", L"c"}));
    EXPECT_EQ(table.find(L"a"), nullptr);
    EXPECT_EQ(table.removeByKey(L"a"), nullptr);
    EXPECT_TRUE(table.removeEntry(&c));
    EXPECT_FALSE(table.removeEntry(&c));
    EXPECT_EQ(orderOf(table), (std::vector<std::wstring>{L"b"}));
}

TEST(MemberTable, KeysMatchExactlyIncludingCaseAndEmbeddedZero)
{
    Member lower, upper, empty, zero;
    MemberTable table;
    table.insertOrReplace(L"key", &lower);
    table.insertOrReplace(L"KEY", &upper);
    table.insertOrReplace(L"", &empty);
    table.insertOrReplace(std::wstring_view(L"key\0x", 5), &zero);
    EXPECT_EQ(table.count(), 4);
    EXPECT_EQ(table.find(L"key"), &lower);
    EXPECT_EQ(table.find(L"KEY"), &upper);
    EXPECT_EQ(table.find(L""), &empty);
    EXPECT_EQ(table.find(std::wstring_view(L"key\0x", 5)), &zero);
    EXPECT_EQ(table.find(L"Key"), nullptr);
}

TEST(MemberTable, SortsTheOrderBothWays)
{
    Member a, b, c;
    MemberTable table;
    table.insertOrReplace(L"b", &b);
    table.insertOrReplace(L"a", &a);
    table.insertOrReplace(L"c", &c);
    table.sortByKey(false);
    EXPECT_EQ(orderOf(table), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    table.sortByKey(true);
    EXPECT_EQ(orderOf(table), (std::vector<std::wstring>{L"c", L"b", L"a"}));
    // Lookups still go through the chains.
    EXPECT_EQ(table.find(L"a"), &a);
}

TEST(MemberTable, ClearForgetsMembersButKeepsBuckets)
{
    Member members[10];
    MemberTable table;
    for (int i = 0; i < 10; ++i) table.insertOrReplace(std::to_wstring(i), &members[i]);
    table.clear();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.bucketCount(), 23);
    EXPECT_EQ(table.find(L"3"), nullptr);
    EXPECT_EQ(table.insertOrReplace(L"3", &members[3]), MemberTable::InsertResult::Inserted);
    EXPECT_EQ(table.count(), 1);
}

TEST(MemberTable, PrivateHeapTablesAreIndependent)
{
    // Many tables with private heaps come and go without leaking their heaps.
    Member member;
    const DWORD heapsBefore = GetProcessHeaps(0, nullptr);
    for (int i = 0; i < 200; ++i) {
        auto table = std::make_unique<MemberTable>();
        ASSERT_TRUE(table->isValid());
        table->insertOrReplace(L"k", &member);
    }
    // 200 leaked heaps would show; a few made meanwhile by the system's own threads may not.
    EXPECT_LE(GetProcessHeaps(0, nullptr), heapsBefore + 5);
    EXPECT_EQ(member.key, nullptr);  // the key went with its table; nothing dangles
}

TEST(MemberTable, PositionsStayRightThroughRemovalsSortsAndReplacements)
{
    // Each member knows its place in the member order; every change that moves members must
    // keep that right, or a later replacement lands in the wrong place.
    std::vector<Member> members(30), replacements(30);
    MemberTable table;
    for (int i = 0; i < 30; ++i) table.insertOrReplace(L"k" + std::to_wstring(i), &members[i]);
    table.removeByKey(L"k0");
    table.removeEntry(&members[10]);
    table.sortByKey(true);
    std::vector<std::wstring> before = orderOf(table);
    for (int i = 1; i < 30; i += 3) {
        if (i == 10) continue;
        MemberEntry* replaced = nullptr;
        ASSERT_EQ(table.insertOrReplace(L"k" + std::to_wstring(i), &replacements[i], &replaced),
                  MemberTable::InsertResult::Replaced);
        EXPECT_EQ(replaced, &members[i]);
    }
    EXPECT_EQ(orderOf(table), before);
    for (int i = 0; i < table.count(); ++i) {
        const MemberEntry* entry = table.order().at(i);
        EXPECT_EQ(entry->orderIndex, i);
        EXPECT_EQ(table.find(entry->keyView()), entry);
    }
    table.insertOrReplace(L"new", &members[0]);
    EXPECT_EQ(orderOf(table).back(), L"new");
}

TEST(Arena, PiecesGivenBackAreReusedOnlyWhileRecycling)
{
    Arena* arena = Arena::create();
    ASSERT_NE(arena, nullptr);
    void* first = arena->allocate(100);
    arena->recycle(first, 100);
    void* second = arena->allocate(100);
    EXPECT_NE(second, first);  // recycling is off: a piece waits for the arena's end

    arena->setRecycling(true);
    std::memset(second, 0x5A, 100);
    arena->recycle(second, 100);
    void* third = arena->allocate(97);  // same 16-byte class
    EXPECT_EQ(third, second);
    EXPECT_EQ(static_cast<unsigned char*>(third)[50], 0);  // handed out zero-filled, like fresh memory
    arena->recycle(third, 97);
    EXPECT_NE(arena->allocate(200), third);  // another class
    arena->release();
}

TEST(MemberTable, KeysThatShareTheirHashDoNotShareAChain)
{
    // "Aa" and "BB" have the same hash, and so has every string of such pairs: 2^14 keys with
    // one hash, as a hostile server could send them.
    constexpr int kKeys = 1 << 14;
    std::vector<Member> members(kKeys);
    std::vector<std::wstring> keys;
    for (int i = 0; i < kKeys; ++i) {
        std::wstring key;
        for (int bit = 0; bit < 14; ++bit) key += (i >> bit) & 1 ? L"BB" : L"Aa";
        keys.push_back(key);
    }
    ASSERT_EQ(MemberTable::hashKey(keys[0]), MemberTable::hashKey(keys[kKeys - 1]));
    MemberTable table;
    for (int i = 0; i < kKeys; ++i) ASSERT_EQ(table.insertOrReplace(keys[i], &members[i]), MemberTable::InsertResult::Inserted);
    EXPECT_LT(table.longestChain(), 16);
    EXPECT_EQ(members[5].keyHash, MemberTable::hashKey(keys[5]));  // the stored hash is still the key's own
    for (int i = 0; i < kKeys; i += 97) EXPECT_EQ(table.find(keys[i]), &members[i]);
    Member replacement;
    EXPECT_EQ(table.insertOrReplace(keys[kKeys - 1], &replacement), MemberTable::InsertResult::Replaced);
    EXPECT_EQ(table.order().at(kKeys - 1), &replacement);
}
