// The lock object, its registry of live locks and the pointer collection.
#include "infra/KestrelSyncObjs.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "infra/LifecycleProbe.h"
#include "support/ClassesUtils.h"

namespace rover {

TColl* LiveSections = nullptr;

namespace {

CRITICAL_SECTION CollLock;
bool CollLockReady = false;

} // namespace

// ---- TColl ----

TColl::TColl() {
    DoInit(32, 64);
}

TColl::TColl(int32_t limit, int32_t delta) {
    DoInit(limit, delta);
}

TColl::~TColl() {
    FreeAll();
    SetCapacity(0);
}

void TColl::DoInit(int32_t limit, int32_t delta) {
    FList = nullptr;
    FCount = 0;
    FCapacity = 0;
    FDelta = delta;
    SetCapacity(limit);
}

void TColl::SetCapacity(int32_t newCapacity) {
    if (newCapacity == FCapacity)
        return;
    if (newCapacity <= 0) {
        std::free(FList);
        FList = nullptr;
        FCapacity = 0;
        return;
    }
    // realloc leaves the old array in place when it fails, so the collection
    // keeps its items and capacity.
    void* grown = std::realloc(FList, static_cast<size_t>(newCapacity) * sizeof(void*));
    if (grown == nullptr)
        throw std::bad_alloc();
    FList = static_cast<PItemList>(grown);
    FCapacity = newCapacity;
}

void TColl::AtInsert(int32_t index, void* item) {
    if (FCount == FCapacity)
        SetCapacity(FCapacity + FDelta);
    if (index < FCount)
        std::memmove(&FList[index + 1], &FList[index],
                     static_cast<size_t>(FCount - index) * sizeof(void*));
    FList[index] = item;
    ++FCount;
}

void TColl::AtDelete(int32_t index) {
    --FCount;
    if (index < FCount)
        std::memmove(&FList[index], &FList[index + 1],
                     static_cast<size_t>(FCount - index) * sizeof(void*));
}

void TColl::AtFree(int32_t index) {
    void* item = At(index);
    AtDelete(index);
    FreeItem(item);
}

void TColl::Insert(void* item) {
    AtInsert(FCount, item);
}

void TColl::Delete(void* item) {
    const int32_t index = IndexOf(item);
    if (index >= 0)
        AtDelete(index);
}

void TColl::FFree(void* item) {
    Delete(item);
    FreeItem(item);
}

void TColl::FreeAll() {
    for (int32_t i = 0; i < FCount; ++i)
        FreeItem(At(i));
    FCount = 0;
}

void TColl::FreeItem(void* item) {
    delete static_cast<TObject*>(item);
}

int32_t TColl::IndexOf(void* item) const {
    for (int32_t i = 0; i < FCount; ++i)
        if (FList[i] == item)
            return i;
    return -1;
}

void TColl::Pack() {
    for (int32_t i = FCount - 1; i >= 0; --i)
        if (FList[i] == nullptr)
            AtDelete(i);
}

void TColl::MoveTo(int32_t curIndex, int32_t newIndex) {
    if (curIndex == newIndex)
        return;
    void* item = At(curIndex);
    AtDelete(curIndex);
    AtInsert(newIndex, item);
}

namespace {

// The classic middle-pivot quicksort: recursion on the left part, a loop on the right.
void QuickSort(PItemList list, int32_t low, int32_t high, TListSortCompare compare) {
    int32_t i;
    do {
        i = low;
        int32_t j = high;
        void* pivot = list[(low + high) >> 1];
        do {
            while (compare(list[i], pivot) < 0)
                ++i;
            while (compare(list[j], pivot) > 0)
                --j;
            if (i <= j) {
                void* swap = list[i];
                list[i] = list[j];
                list[j] = swap;
                ++i;
                --j;
            }
        } while (i <= j);
        if (low < j)
            QuickSort(list, low, j, compare);
        low = i;
    } while (i < high);
}

} // namespace

void TColl::Sort(TListSortCompare compare) {
    if (FList != nullptr && FCount > 0)
        QuickSort(FList, 0, FCount - 1, compare);
}

void TColl::Concat(TColl* other) {
    for (int32_t i = 0; i < other->Count(); ++i)
        Insert(other->At(i));
    other->DeleteAll();
}

void TColl::Enter() {
    EnterCriticalSection(&CollLock);
}

void TColl::Leave() {
    LeaveCriticalSection(&CollLock);
}

// ---- TKestrelCriticalSection ----

TKestrelCriticalSection::TKestrelCriticalSection() {
    Register(__builtin_return_address(0));
}

TKestrelCriticalSection::TKestrelCriticalSection(const std::wstring& name) : FName(name) {
    // The name is in place before the section becomes visible in the registry.
    Register(__builtin_return_address(0));
}

void TKestrelCriticalSection::Register(const void* caller) {
    FCaller = caller;
    // No lock here: the first section is made while one thread runs.
    if (LiveSections == nullptr)
        LiveSections = new TColl;
    TColl::Enter();
    try {
        LiveSections->Add(this);
    } catch (...) {
        TColl::Leave(); // a failed growth must not leave the registry locked
        throw;
    }
    TColl::Leave();
    InitializeCriticalSection(&FSection);
}

TKestrelCriticalSection::~TKestrelCriticalSection() {
    TColl::Enter();
    LiveSections->Delete(this);
    TColl::Leave();
    DeleteCriticalSection(&FSection);
}

// ---- Module life cycle ----

void InitializeKestrelSyncObjs() {
    if (CollLockReady)
        return;
    InitializeCriticalSection(&CollLock);
    CollLockReady = true;
}

bool KestrelSyncObjsInitialized() {
    return CollLockReady;
}

void FinalizeKestrelSyncObjs() {
    if (!CollLockReady)
        return;
    // A copy owns the sections, so freeing it destroys each one, first to
    // last; each destruction takes itself out of LiveSections.
    TColl* survivors = new TColl;
    int32_t destroyed = 0;
    if (LiveSections != nullptr && LiveSections->Count() > 0) {
        // Sized beforehand, so that nothing grows while the lock is held.
        survivors->SetCapacity(LiveSections->Count());
        TColl::Enter();
        for (int32_t i = 0; i < LiveSections->Count(); ++i)
            survivors->Add(LiveSections->At(i));
        TColl::Leave();
        destroyed = survivors->Count();
    }
    InterlockedFreeAndNil(survivors);
    InterlockedFreeAndNil(LiveSections);
    DeleteCriticalSection(&CollLock);
    CollLockReady = false;
    NoteLifecycleStep(L"KestrelSyncObjs finalised", destroyed);
}

} // namespace rover
