// The pointer collection, the lock object, the registry of live locks and its finalisation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "infra/KestrelSyncObjs.h"
#include "infra/LifecycleProbe.h"
#include "support/Handles.h"

namespace rover {
namespace {

// Counts its destructions so that a test sees each object die exactly once.
struct TTracked : TObject {
    explicit TTracked(std::vector<int>* deaths, int id = 0) : Deaths(deaths), Id(id) {}
    ~TTracked() override { Deaths->push_back(Id); }
    std::vector<int>* Deaths;
    int Id;
};

void* Item(char c) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(c));
}

std::string Letters(const TColl& coll) {
    std::string s;
    for (int32_t i = 0; i < coll.Count(); ++i)
        s.push_back(static_cast<char>(reinterpret_cast<intptr_t>(coll.At(i))));
    return s;
}

// Holds pointers that are not objects, so it must never free them.
struct TPlainColl : TColl {
    ~TPlainColl() override { DeleteAll(); }
    void FreeItem(void*) override {}
};

class SyncObjs : public ::testing::Test {
  protected:
    void SetUp() override { InitializeKestrelSyncObjs(); }
};

TEST_F(SyncObjs, IndexOfAndDeleteActOnTheLowerIndex) {
    TPlainColl coll;
    for (char c : std::string("ABCB"))
        coll.Add(Item(c));
    EXPECT_EQ(coll.IndexOf(Item('Z')), -1);
    EXPECT_EQ(coll.IndexOf(Item('B')), 1);
    coll.Delete(Item('B'));
    EXPECT_EQ(Letters(coll), "ACB");
    EXPECT_EQ(coll.IndexOf(Item('B')), 2);
}

TEST_F(SyncObjs, CapacityGrowsByTheDelta) {
    struct Case {
        int Insertions;
        int32_t Capacity;
    };
    const Case cases[] = {{0, 32}, {32, 32}, {33, 96}, {96, 96}, {97, 160}, {161, 224}};
    for (const Case& c : cases) {
        TPlainColl coll;
        for (int i = 0; i < c.Insertions; ++i)
            coll.AtInsert(0, Item('x'));
        EXPECT_EQ(coll.Capacity(), c.Capacity) << c.Insertions << " insertions";
        EXPECT_EQ(coll.Count(), c.Insertions);
    }
}

TEST_F(SyncObjs, PackRemovesNullItemsAndKeepsTheCapacity) {
    struct Case {
        std::string Items; // '.' stands for a null item
        std::string Packed;
    };
    const Case cases[] = {{"....", ""}, {"A..B.", "AB"}, {"AB", "AB"}, {"", ""}, {".A", "A"}};
    for (const Case& c : cases) {
        TPlainColl coll;
        for (char ch : c.Items)
            coll.Add(ch == '.' ? nullptr : Item(ch));
        coll.Pack();
        EXPECT_EQ(Letters(coll), c.Packed) << c.Items;
        EXPECT_EQ(coll.Capacity(), 32);
    }
}

TEST_F(SyncObjs, MoveToCountsTheTargetAfterTheRemoval) {
    struct Case {
        int32_t From, To;
        const char* Result;
    };
    const Case cases[] = {
        {2, 0, "CABD"}, {0, 2, "BCAD"}, {1, 1, "ABCD"}, {3, 0, "DABC"}, {0, 3, "BCDA"}};
    for (const Case& c : cases) {
        TPlainColl coll;
        for (char ch : std::string("ABCD"))
            coll.Add(Item(ch));
        coll.MoveTo(c.From, c.To);
        EXPECT_EQ(Letters(coll), c.Result) << c.From << " -> " << c.To;
    }
}

TEST_F(SyncObjs, ConcatMovesOwnership) {
    std::vector<int> deaths;
    auto* target = new TColl;
    TColl source;
    target->Add(new TTracked(&deaths, 1));
    source.Add(new TTracked(&deaths, 2));
    source.Add(new TTracked(&deaths, 3));
    target->Concat(&source);
    EXPECT_EQ(source.Count(), 0);
    EXPECT_TRUE(deaths.empty());
    ASSERT_EQ(target->Count(), 3);
    EXPECT_EQ(static_cast<TTracked*>(target->At(2))->Id, 3);
    delete target;
    EXPECT_EQ(deaths, (std::vector<int>{1, 2, 3}));
}

int32_t CompareInts(void* a, void* b) {
    const intptr_t x = reinterpret_cast<intptr_t>(a);
    const intptr_t y = reinterpret_cast<intptr_t>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

TEST_F(SyncObjs, SortAgreesWithStdSort) {
    TPlainColl empty;
    empty.Sort(&CompareInts);
    EXPECT_EQ(empty.Count(), 0);
    TPlainColl noArray;
    noArray.SetCapacity(0);
    noArray.Sort(&CompareInts);

    std::mt19937 random(20050);
    for (int size : {1, 2, 3, 17, 100, 1000}) {
        for (int range : {3, 1000000}) { // many duplicates, then few
            std::vector<intptr_t> values;
            TPlainColl coll;
            for (int i = 0; i < size; ++i) {
                values.push_back(static_cast<intptr_t>(random() % range) - range / 2);
                coll.Add(reinterpret_cast<void*>(values.back()));
            }
            coll.Sort(&CompareInts);
            std::sort(values.begin(), values.end());
            std::vector<intptr_t> sorted;
            for (int32_t i = 0; i < coll.Count(); ++i)
                sorted.push_back(reinterpret_cast<intptr_t>(coll.At(i)));
            EXPECT_EQ(sorted, values) << size << " items below " << range;
        }
    }
}

TEST_F(SyncObjs, FreeAllAndAtFreeDestroyEachObjectOnce) {
    std::vector<int> deaths;
    TColl coll;
    for (int i = 0; i < 5; ++i)
        coll.Add(new TTracked(&deaths, i));
    coll.Add(nullptr);
    coll.AtFree(1);
    EXPECT_EQ(deaths, (std::vector<int>{1}));
    EXPECT_EQ(coll.Count(), 5);
    void* third = coll.At(2);
    coll.FFree(third);
    EXPECT_EQ(deaths, (std::vector<int>{1, 3}));
    coll.FreeAll();
    EXPECT_EQ(deaths, (std::vector<int>{1, 3, 0, 2, 4}));
    EXPECT_EQ(coll.Count(), 0);
    EXPECT_EQ(coll.Capacity(), 32);
}

// The sections of LiveSections from index `from` on.
std::vector<TKestrelCriticalSection*> LiveFrom(int32_t from) {
    std::vector<TKestrelCriticalSection*> live;
    TColl::Enter();
    for (int32_t i = from; LiveSections != nullptr && i < LiveSections->Count(); ++i)
        live.push_back(static_cast<TKestrelCriticalSection*>(LiveSections->At(i)));
    TColl::Leave();
    return live;
}

TEST_F(SyncObjs, SectionsRegisterInCreationOrderAndLeaveInAnyOrder) {
    TKestrelCriticalSection* first = new TKestrelCriticalSection;
    const int32_t base = LiveSections->IndexOf(first);
    ASSERT_GE(base, 0);
    std::vector<TKestrelCriticalSection*> all = {first};
    for (const wchar_t* name : {L"one", L"two", L"three"})
        all.push_back(new TKestrelCriticalSection(name));
    EXPECT_EQ(LiveFrom(base), all);
    EXPECT_EQ(all[0]->Name(), L"");
    EXPECT_EQ(all[2]->Name(), L"two");
    EXPECT_NE(all[1]->Caller(), nullptr);

    const std::vector<TKestrelCriticalSection*> created = all;
    for (int index : {2, 0, 3, 1}) {
        TKestrelCriticalSection* gone = created[static_cast<size_t>(index)];
        all.erase(std::find(all.begin(), all.end(), gone));
        delete gone;
        EXPECT_EQ(LiveFrom(base), all) << "after destroying section " << index;
    }
}

struct TTaker {
    TKestrelCriticalSection* Section;
    TKernelHandle Taken{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    static DWORD WINAPI Run(void* self) {
        auto* taker = static_cast<TTaker*>(self);
        taker->Section->Acquire();
        SetEvent(taker->Taken.Get());
        taker->Section->Release();
        return 0;
    }
};

TEST_F(SyncObjs, ASectionTakenTwiceNeedsTwoReleases) {
    TKestrelCriticalSection* section = new TKestrelCriticalSection;
    TTaker taker{section};
    section->Acquire();
    section->Enter(); // the holder may take it again at once
    section->Release();
    TKernelHandle thread(CreateThread(nullptr, 0, &TTaker::Run, &taker, 0, nullptr));
    ASSERT_TRUE(thread);
    // Still held once: the other thread must not get it.
    EXPECT_EQ(WaitForSingleObject(taker.Taken.Get(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
    section->Leave();
    EXPECT_EQ(WaitForSingleObject(taker.Taken.Get(), 30000), WAIT_OBJECT_0);
    WaitForSingleObject(thread.Get(), 30000);
    delete section;
}

// Records, as it dies, its number and whether CollLock was still there.
struct TProbeSection : TKestrelCriticalSection {
    TProbeSection(std::vector<std::pair<int, bool>>* log, int id) : Log(log), Id(id) {}
    ~TProbeSection() override { Log->push_back({Id, KestrelSyncObjsInitialized()}); }
    std::vector<std::pair<int, bool>>* Log;
    int Id;
};

std::vector<std::pair<std::wstring, int>> ProbeSteps;
void RecordStep(const wchar_t* step, int value) {
    ProbeSteps.push_back({step, value});
}

struct TProbeScope {
    TProbeScope() {
        ProbeSteps.clear();
        LifecycleProbe = &RecordStep;
    }
    ~TProbeScope() { LifecycleProbe = nullptr; }
};

TEST_F(SyncObjs, FinalisationDestroysLiveSectionsInCreationOrderThenTheLock) {
    std::vector<std::pair<int, bool>> deaths;
    new TProbeSection(&deaths, 1);
    TKestrelCriticalSection* second = new TProbeSection(&deaths, 2);
    new TProbeSection(&deaths, 3);
    new TProbeSection(&deaths, 4);
    delete second;
    TProbeScope probe;
    FinalizeKestrelSyncObjs();
    EXPECT_EQ(deaths,
              (std::vector<std::pair<int, bool>>{{2, true}, {1, true}, {3, true}, {4, true}}));
    EXPECT_EQ(LiveSections, nullptr);
    EXPECT_FALSE(KestrelSyncObjsInitialized());
    EXPECT_EQ(ProbeSteps,
              (std::vector<std::pair<std::wstring, int>>{{L"KestrelSyncObjs finalised", 3}}));

    // Nothing alive: only the lock goes. A second finalisation does nothing.
    InitializeKestrelSyncObjs();
    ProbeSteps.clear();
    FinalizeKestrelSyncObjs();
    FinalizeKestrelSyncObjs();
    EXPECT_EQ(ProbeSteps,
              (std::vector<std::pair<std::wstring, int>>{{L"KestrelSyncObjs finalised", 0}}));
    EXPECT_EQ(LiveSections, nullptr);
    EXPECT_FALSE(KestrelSyncObjsInitialized());
    InitializeKestrelSyncObjs();
}

} // namespace
} // namespace rover
