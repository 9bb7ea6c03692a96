// The sorted hash table: lookups, ordering, ranges, slices, copies and removal by callback.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "infra/HUtils.h"

namespace rover {
namespace {

// Entries point at letters, so a table reads as a string.
void* Obj(char c) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(c));
}
char Letter(void* p) {
    return static_cast<char>(reinterpret_cast<intptr_t>(p));
}

std::string Letters(THashTable& table) {
    std::string s;
    for (int32_t i = 0; i < table.Count(); ++i)
        s.push_back(Letter(table.Items(i)));
    return s;
}

std::vector<uint32_t> HashesOf(THashTable& table) {
    std::vector<uint32_t> hashes;
    for (int32_t i = 0; i < table.Count(); ++i)
        hashes.push_back(table.Hashes(i));
    return hashes;
}

// A table of letters A, B, C... under the given hashes, appended as given.
THashTable* TableOf(const std::vector<uint32_t>& hashes) {
    auto* table = new THashTable;
    char c = 'A';
    for (uint32_t h : hashes)
        table->AddUnsorted(Obj(c++), h);
    return table;
}

// How a DeleteThat callback treats each letter.
struct TCheckPlan {
    std::string Accept;
    char StopOn = 0;
    std::string Seen;
    static bool Check(void* self, void* item, int32_t, bool& stop) {
        auto* plan = static_cast<TCheckPlan*>(self);
        const char c = Letter(item);
        plan->Seen.push_back(c);
        if (c == plan->StopOn)
            stop = true;
        return plan->Accept.find(c) != std::string::npos;
    }
};

class HashTable : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeKestrelSyncObjs();
        InitializeHUtils();
    }
};

TEST_F(HashTable, BehavesCaseByCase) {
    {
        SCOPED_TRACE("empty table");
        THashTable table;
        TCheckPlan plan;
        EXPECT_EQ(table.Capacity(), 4);
        EXPECT_EQ(table.IndexOfHash(1), -1);
        EXPECT_EQ(table.HashIndex(1, nullptr, false, 0), 0);
        EXPECT_EQ(table.FindFirstAfter(1), -1);
        EXPECT_EQ(table.FindLastBefore(1), -1);
        EXPECT_EQ(table.ForEach(TSHSimpleCheck{[](void*, void*, int32_t, bool&) {}, nullptr}), 0);
        EXPECT_EQ(table.FirstThat(TSHBooleanCheck{&TCheckPlan::Check, &plan}), -1);
        EXPECT_EQ(table.Slice(0, 1), nullptr);
        EXPECT_EQ(table.ObjectByHash(1), nullptr);
        EXPECT_EQ(table.DeleteHash(1), 0);
        EXPECT_FALSE(table.DeleteObject(Obj('A'), 1));
        EXPECT_FALSE(table.HasHash(1));
    }
    {
        SCOPED_TRACE("(3, B), (5, C), (5, A)");
        THashTable table;
        table.AddObject(Obj('A'), 5);
        table.AddObject(Obj('B'), 3);
        table.AddObject(Obj('C'), 5);
        EXPECT_EQ(Letters(table), "BCA");
        EXPECT_EQ(HashesOf(table), (std::vector<uint32_t>{3, 5, 5}));
        EXPECT_EQ(Letter(table.ObjectByHash(5)), 'C');
        EXPECT_EQ(table.IndexOfHash(5), 1);
        EXPECT_EQ(table.IndexOfHashedObject(5, Obj('A')), 2);
        EXPECT_TRUE(table.HasHashedObject(3, Obj('B')));
        EXPECT_FALSE(table.HasHashedObject(5, Obj('B')));
        EXPECT_EQ(table.IndexOfObject(Obj('A')), 2);
        TList list = {Obj('x')};
        EXPECT_TRUE(table.GetHash(5, &list));
        EXPECT_EQ(list, (TList{Obj('x'), Obj('C'), Obj('A')}));
        EXPECT_FALSE(table.GetHash(4, &list));
        EXPECT_EQ(list.size(), 3u);
        EXPECT_EQ(table.DeleteHash(5), 2);
        EXPECT_EQ(Letters(table), "B");
        EXPECT_EQ(table.HashIndex(3, nullptr, true, 0), 0);
    }
    {
        SCOPED_TRACE("unsigned order");
        THashTable table;
        table.AddObject(Obj('A'), 2147483648u);
        table.AddObject(Obj('B'), 2147483647u);
        table.AddObject(Obj('C'), 0xFFFFFFFFu);
        table.AddObject(Obj('D'), 0);
        EXPECT_EQ(Letters(table), "DBAC");
        EXPECT_EQ(Letter(table.ObjectByHash(2147483648u)), 'A');
        EXPECT_EQ(table.FindFirstAfter(2147483647u), 2);
        EXPECT_EQ(table.FindLastBefore(0xFFFFFFFFu), 2);
    }
    {
        SCOPED_TRACE("1, 3, 3, 7");
        THashTable* table = TableOf({1, 3, 3, 7});
        const std::pair<uint32_t, int32_t> after[] = {{0, 0}, {1, 1},  {2, 1},
                                                      {3, 3}, {7, -1}, {8, -1}};
        for (const auto& c : after)
            EXPECT_EQ(table->FindFirstAfter(c.first), c.second) << "after " << c.first;
        const std::pair<uint32_t, int32_t> before[] = {{0, -1}, {1, -1}, {3, 0},
                                                       {4, 2},  {7, 2},  {8, 3}};
        for (const auto& c : before)
            EXPECT_EQ(table->FindLastBefore(c.first), c.second) << "before " << c.first;
        delete table;
    }
    {
        SCOPED_TRACE("out-of-range reads and writes");
        THashTable* table = TableOf({1, 2});
        EXPECT_EQ(table->Items(-1), nullptr);
        EXPECT_EQ(table->Items(2), nullptr);
        EXPECT_EQ(table->Hashes(2), 0u);
        EXPECT_EQ(table->Hashes(-1), 0u);
        table->SetItems(-1, Obj('Z'));
        table->SetItems(2, Obj('Z'));
        table->SetHashes(2, 99);
        table->SetHashes(-1, 99);
        EXPECT_EQ(Letters(*table), "AB");
        EXPECT_EQ(HashesOf(*table), (std::vector<uint32_t>{1, 2}));
        table->SetItems(1, Obj('Z'));
        table->SetHashes(0, 9);
        EXPECT_EQ(Letters(*table), "AZ");
        EXPECT_EQ(table->HashesFast(0), 9u);
        delete table;
    }
    {
        SCOPED_TRACE("AtInsert clamps");
        THashTable* table = TableOf({1, 2});
        table->AtInsert(-5, Obj('X'), 7);
        table->AtInsert(table->Count() + 3, Obj('Y'), 8);
        table->AtInsert(1, Obj('M'), 9);
        EXPECT_EQ(Letters(*table), "XMABY");
        table->AtDelete(-1, 1);
        table->AtDelete(5, 1);
        table->AtDelete(0, 0);
        EXPECT_EQ(Letters(*table), "XMABY");
        table->AtDelete(1, 2);
        EXPECT_EQ(Letters(*table), "XBY");
        delete table;
    }
    {
        SCOPED_TRACE("Slice");
        THashTable* table = TableOf({1, 2, 3, 4, 5});
        EXPECT_EQ(table->Slice(2, 2), nullptr);
        EXPECT_EQ(table->Slice(3, 2), nullptr);
        EXPECT_EQ(table->Slice(-1, 2), nullptr);
        EXPECT_EQ(table->Slice(3, 5), nullptr);
        THashTable* slice = table->Slice(1, 3);
        ASSERT_NE(slice, nullptr);
        EXPECT_EQ(Letters(*slice), "BCD");
        EXPECT_EQ(HashesOf(*slice), (std::vector<uint32_t>{2, 3, 4}));
        delete slice;
        slice = table->Slice(0, 4);
        ASSERT_NE(slice, nullptr);
        EXPECT_EQ(Letters(*slice), "ABCDE");
        delete slice;
        delete table;
    }
    {
        SCOPED_TRACE("Assign");
        THashTable* source = TableOf({9, 1, 5, 3, 7, 2}); // unsorted: kept as it is
        THashTable table;
        table.AddObject(Obj('Q'), 4);
        table.Assign(source);
        EXPECT_EQ(Letters(table), "ABCDEF");
        EXPECT_EQ(HashesOf(table), (std::vector<uint32_t>{9, 1, 5, 3, 7, 2}));
        EXPECT_GE(table.Capacity(), 6);
        table.Assign(nullptr);
        EXPECT_EQ(table.Count(), 0);
        EXPECT_EQ(table.Items(0), nullptr);
        delete source;
    }
    struct DeleteThatCase {
        const char* Name;
        TCheckPlan Plan;
        int32_t Removed;
        const char* Left;
        const char* Seen;
    };
    DeleteThatCase deletes[] = {
        {"accepts B and D", {"BD", 0, ""}, 2, "ACE", "ABCDE"},
        {"accepts B, stops on C", {"B", 'C', ""}, 1, "ACDE", "ABC"},
        {"accepts B and stops there", {"B", 'B', ""}, 1, "ACDE", "AB"},
        {"accepts nothing", {"", 0, ""}, 0, "ABCDE", "ABCDE"},
    };
    for (DeleteThatCase& c : deletes) {
        SCOPED_TRACE(c.Name);
        THashTable* table = TableOf({1, 2, 3, 4, 5});
        EXPECT_EQ(table->DeleteThat(TSHBooleanCheck{&TCheckPlan::Check, &c.Plan}), c.Removed);
        EXPECT_EQ(Letters(*table), c.Left);
        EXPECT_EQ(table->Count(), static_cast<int32_t>(std::string(c.Left).size()));
        EXPECT_EQ(c.Plan.Seen, c.Seen);
        delete table;
    }
    {
        SCOPED_TRACE("FirstThat, LastThat, ForEach");
        THashTable* table = TableOf({1, 2, 3, 4, 5});
        TCheckPlan both{"BD", 0, ""};
        EXPECT_EQ(table->FirstThat(TSHBooleanCheck{&TCheckPlan::Check, &both}), 1);
        EXPECT_EQ(table->LastThat(TSHBooleanCheck{&TCheckPlan::Check, &both}), 3);
        TCheckPlan stopped{"D", 'C', ""};
        EXPECT_EQ(table->FirstThat(TSHBooleanCheck{&TCheckPlan::Check, &stopped}), -1);
        TCheckPlan acceptAndStop{"B", 'B', ""};
        EXPECT_EQ(table->FirstThat(TSHBooleanCheck{&TCheckPlan::Check, &acceptAndStop}), 1);
        int calls = 0;
        EXPECT_EQ(table->ForEach(TSHSimpleCheck{[](void* self, void*, int32_t hash, bool& stop) {
                                                    ++*static_cast<int*>(self);
                                                    stop = hash == 3;
                                                },
                                                &calls}),
                  3);
        EXPECT_EQ(calls, 3);
        delete table;
    }
    {
        SCOPED_TRACE("AddUnsorted and Reindex");
        THashTable* table = TableOf({9, 2, 5});
        table->Reindex();
        EXPECT_EQ(HashesOf(*table), (std::vector<uint32_t>{2, 5, 9}));
        EXPECT_EQ(Letters(*table), "BCA");
        EXPECT_EQ(table->IndexOfHash(9), 2);
        delete table;
    }
    {
        SCOPED_TRACE("growth");
        THashTable table;
        std::vector<int32_t> capacities = {table.Capacity()};
        for (uint32_t i = 0; i < 70; ++i) {
            table.AddObject(Obj('x'), i);
            if (table.Capacity() != capacities.back())
                capacities.push_back(table.Capacity());
        }
        EXPECT_EQ(capacities, (std::vector<int32_t>{4, 9, 18, 35, 52, 69, 86}));
        table.Clear();
        EXPECT_EQ(table.Count(), 0);
        EXPECT_EQ(table.Capacity(), 86);
        table.CheckCapacity(1100);
        EXPECT_EQ(table.Capacity(), 1116);
        table.CheckCapacity(1117);
        EXPECT_EQ(table.Capacity(), 1373);
    }
}

// Counts its destructions for FreeItems.
struct TCounted : TObject {
    explicit TCounted(int* deaths) : Deaths(deaths) {}
    ~TCounted() override { ++*Deaths; }
    int* Deaths;
};

TEST_F(HashTable, FreeItemsDestroysTheObjectsAndClears) {
    int deaths = 0;
    THashTable table;
    table.AddObject(new TCounted(&deaths), 2);
    table.AddObject(nullptr, 1);
    table.AddObject(new TCounted(&deaths), 2);
    table.FreeItems();
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(table.Count(), 0);
}

} // namespace
} // namespace rover
