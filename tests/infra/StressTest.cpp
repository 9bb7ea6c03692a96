// Many threads creating, taking and destroying locks while others work on hash tables under the
// shared lock.
#include <gtest/gtest.h>

#include <vector>

#include "infra/HUtils.h"
#include "support/Handles.h"

namespace rover {
namespace {

constexpr int kSectionThreads = 8;
constexpr int kTableThreads = 4;
constexpr int kRounds = 2000;

struct TShared {
    TKernelHandle Go{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    THashTable* Table = nullptr;
    volatile LONG Failures = 0;
};

struct TWorker {
    TShared* Shared;
    int Index;
    std::vector<void*> Kept; // entries this worker leaves in the table
};

void Fail(TShared* shared) {
    InterlockedIncrement(&shared->Failures);
}

DWORD WINAPI SectionWorker(void* param) {
    auto* worker = static_cast<TWorker*>(param);
    WaitForSingleObject(worker->Shared->Go.Get(), INFINITE);
    std::vector<TKestrelCriticalSection*> mine;
    for (int round = 0; round < kRounds; ++round) {
        mine.push_back(round % 3 == 0 ? new TKestrelCriticalSection(L"stress")
                                      : new TKestrelCriticalSection);
        TKestrelCriticalSection* section = mine[static_cast<size_t>(round) % mine.size()];
        section->Acquire();
        section->Enter();
        // Creating and destroying a section is allowed while others are held,
        // the hash tables' lock among them.
        if (round % 5 == 0) {
            TSectionLock tables(HashTableLock);
            delete new TKestrelCriticalSection;
        }
        section->Leave();
        section->Release();
        if (mine.size() > 4) {
            delete mine.front();
            mine.erase(mine.begin());
        }
    }
    for (TKestrelCriticalSection* section : mine)
        delete section;
    return 0;
}

DWORD WINAPI TableWorker(void* param) {
    auto* worker = static_cast<TWorker*>(param);
    TShared* shared = worker->Shared;
    THashTable* table = shared->Table;
    WaitForSingleObject(shared->Go.Get(), INFINITE);
    THashTable own;
    for (int round = 0; round < kRounds; ++round) {
        // Distinct objects, shared hashes: every worker's entries interleave.
        void* object =
            reinterpret_cast<void*>(static_cast<intptr_t>((worker->Index + 1) * 100000 + round));
        const uint32_t hash = static_cast<uint32_t>(round * 7919) ^ (round % 2 ? 0x80000000u : 0);
        table->AddObject(object, hash);
        TList found;
        if (!table->GetHash(hash, &found))
            Fail(shared);
        bool seen = false;
        for (void* p : found)
            seen = seen || p == object;
        if (!seen)
            Fail(shared);
        own.Assign(table);
        if (own.Count() == 0)
            Fail(shared);
        if (round % 2 == 0)
            worker->Kept.push_back(object);
        else if (!table->DeleteObject(object, hash))
            Fail(shared);
    }
    return 0;
}

TEST(Stress, SectionsAndTablesFromManyThreads) {
    InitializeKestrelSyncObjs();
    InitializeHUtils();
    TShared shared;
    shared.Table = new THashTable;
    TColl::Enter();
    const int32_t liveBefore = LiveSections->Count();
    TColl::Leave();

    std::vector<TWorker> workers;
    for (int i = 0; i < kSectionThreads + kTableThreads; ++i)
        workers.push_back(TWorker{&shared, i, {}});
    std::vector<HANDLE> threads;
    for (int i = 0; i < kSectionThreads + kTableThreads; ++i) {
        HANDLE thread =
            CreateThread(nullptr, 0, i < kSectionThreads ? &SectionWorker : &TableWorker,
                         &workers[static_cast<size_t>(i)], 0, nullptr);
        ASSERT_NE(thread, nullptr);
        threads.push_back(thread);
    }
    SetEvent(shared.Go.Get());
    // Bounded work: every thread ends after its rounds, however the machine schedules them.
    const DWORD waited =
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 90000);
    EXPECT_LT(waited, WAIT_OBJECT_0 + threads.size()) << "threads did not end";
    for (HANDLE thread : threads)
        CloseHandle(thread);

    EXPECT_EQ(shared.Failures, 0);
    TColl::Enter();
    const int32_t liveAfter = LiveSections->Count();
    bool lockStillRegistered = LiveSections->IndexOf(HashTableLock) >= 0;
    TColl::Leave();
    EXPECT_EQ(liveAfter, liveBefore);
    EXPECT_TRUE(lockStillRegistered);

    // Exactly the kept entries remain, in ascending unsigned order.
    size_t kept = 0;
    for (const TWorker& worker : workers) {
        kept += worker.Kept.size();
        for (void* object : worker.Kept)
            EXPECT_GE(shared.Table->IndexOfObject(object), 0);
    }
    ASSERT_EQ(shared.Table->Count(), static_cast<int32_t>(kept));
    for (int32_t i = 1; i < shared.Table->Count(); ++i)
        ASSERT_LE(shared.Table->Hashes(i - 1), shared.Table->Hashes(i)) << "at " << i;
    delete shared.Table;
}

} // namespace
} // namespace rover
