// The system's lock object with its registry of live locks, and the pointer collection.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "infra/Object.h"

namespace rover {

// Upper bound of a collection's items; callers keep within it.
constexpr int32_t kMaxCollSize = 524288;
using PItemList = void**;

// Negative when item1 sorts first, 0 when equal, positive when item2 sorts first.
using TListSortCompare = int32_t (*)(void* item1, void* item2);

// A growable array of untyped pointers. By default it owns its items as
// TObject instances. Indices are not checked: callers keep 0 <= index < Count.
class TColl : public TObject {
  public:
    TColl(); // capacity 32, delta 64
    TColl(int32_t limit, int32_t delta);
    ~TColl() override;

    void* At(int32_t index) const { return FList[index]; }
    void AtPut(int32_t index, void* item) { FList[index] = item; }
    void* operator[](int32_t index) const { return FList[index]; }
    void AtInsert(int32_t index, void* item);
    void AtDelete(int32_t index);
    void AtFree(int32_t index);

    void Add(void* item) { AtInsert(FCount, item); }
    virtual void Insert(void* item);
    // An item the collection does not hold is left alone.
    void Delete(void* item);
    void DeleteAll() { FCount = 0; }
    void FFree(void* item);
    // The destructor frees through TColl::FreeItem; a subclass that frees
    // differently calls FreeAll in its own destructor.
    void FreeAll();
    virtual void FreeItem(void* item);
    virtual int32_t IndexOf(void* item) const;
    void Pack();
    void SetCapacity(int32_t newCapacity);
    void MoveTo(int32_t curIndex, int32_t newIndex);
    void Sort(TListSortCompare compare);
    // Takes over every item of other, which is left empty.
    void Concat(TColl* other);

    int32_t Count() const { return FCount; }
    int32_t Capacity() const { return FCapacity; }
    int32_t Delta() const { return FDelta; }
    void* First() const { return At(0); }
    void SetFirst(void* item) { AtPut(0, item); }

    // One lock, CollLock, for every collection.
    static void Enter();
    static void Leave();

  protected:
    void DoInit(int32_t limit, int32_t delta);

    int32_t FCount = 0;
    int32_t FCapacity = 0;
    int32_t FDelta = 0;
    PItemList FList = nullptr;
};

// A recursive OS lock, registered in LiveSections while it lives. Always on the heap.
class TKestrelCriticalSection : public TObject {
  public:
    TKestrelCriticalSection();
    explicit TKestrelCriticalSection(const std::wstring& name);
    ~TKestrelCriticalSection() override;

    void Acquire() { EnterCriticalSection(&FSection); }
    void Release() { LeaveCriticalSection(&FSection); }
    void Enter() { Acquire(); }
    void Leave() { Release(); }

    const std::wstring& Name() const { return FName; }
    // Where the creating code resumed after the constructor; for diagnostics.
    const void* Caller() const { return FCaller; }

  private:
    void Register(const void* caller);

    std::wstring FName;
    const void* FCaller = nullptr;
    CRITICAL_SECTION FSection;
};

// Holds a section for a scope; a null section is not taken.
class TSectionLock {
  public:
    explicit TSectionLock(TKestrelCriticalSection* section) : section_(section) {
        if (section_ != nullptr)
            section_->Enter();
    }
    ~TSectionLock() {
        if (section_ != nullptr)
            section_->Leave();
    }
    TSectionLock(const TSectionLock&) = delete;
    TSectionLock& operator=(const TSectionLock&) = delete;

  private:
    TKestrelCriticalSection* section_;
};

// Every section alive, in creation order; made by the first section.
extern TColl* LiveSections;

// Module start-up: initialises CollLock. Runs once until the finalisation.
void InitializeKestrelSyncObjs();
// Destroys every section still alive, first to last, then LiveSections and CollLock.
void FinalizeKestrelSyncObjs();
bool KestrelSyncObjsInitialized();

} // namespace rover
