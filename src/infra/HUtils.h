// The sorted hash table: an index of (unsigned hash, pointer) pairs sharing one lock.
#pragma once

#include <cstdint>
#include <vector>

#include "infra/KestrelSyncObjs.h"

namespace rover {

struct RHashRecord {
    uint32_t Hash;
    void* Data;
};

// A growable list of untyped pointers that lookups append to.
using TList = std::vector<void*>;

// Callbacks bound to an object: Self is handed back as the first argument.
// Hash carries the entry's hash bits as a signed value; setting Stop ends the walk.
struct TSHBooleanCheck {
    bool (*Code)(void* self, void* item, int32_t hash, bool& stop);
    void* Self;
};
struct TSHSimpleCheck {
    void (*Code)(void* self, void* item, int32_t hash, bool& stop);
    void* Self;
};

// Entries sorted by ascending unsigned hash, duplicates allowed. The table
// stores pointers only; what they point to belongs to the caller unless
// FreeItems is asked to destroy it (then the Data must be TObject instances).
// Operations marked "locked" hold HashTableLock throughout; the others are for
// callers that keep other threads off the table meanwhile.
class THashTable : public TObject {
  public:
    THashTable();
    ~THashTable() override;

    void Assign(THashTable* a); // locked
    virtual void Clear();       // locked
    virtual void FreeItems();
    void Reindex(); // locked
    void CheckCapacity(int32_t aCount);
    int32_t Count(); // locked
    int32_t Capacity() const { return fCapacity; }

    int32_t HashIndex(uint32_t aHash, TList* resultList, bool mustExist, int32_t startFrom) const;
    bool HasHash(uint32_t aHash);           // locked
    int32_t IndexOfHash(uint32_t aHash);    // locked
    void* ObjectByHash(uint32_t aHash);     // locked
    bool GetHash(uint32_t aHash, TList* l); // locked
    bool HasHashedObject(uint32_t aHash, void* aObject) const;
    int32_t IndexOfHashedObject(uint32_t aHash, void* aObject) const;
    int32_t IndexOfObject(void* aObject); // locked
    int32_t FindFirstAfter(uint32_t aHash) const;
    int32_t FindLastBefore(uint32_t aHash) const;

    void AddObject(void* aObject, uint32_t aHash);   // locked
    void AddUnsorted(void* aObject, uint32_t aHash); // locked
    void AtInsert(int32_t aIdx, void* aObject, uint32_t aHash);
    void AtDelete(int32_t aIdx, int32_t aCount);
    int32_t DeleteHash(uint32_t aHash);               // locked
    bool DeleteObject(void* aObject, uint32_t aHash); // locked
    int32_t DeleteThat(TSHBooleanCheck check);        // locked, callback too
    int32_t ForEach(TSHSimpleCheck check);
    int32_t FirstThat(TSHBooleanCheck check);
    int32_t LastThat(TSHBooleanCheck check);
    // A new table with entries startIdx to stopIdx; null unless
    // 0 <= startIdx < stopIdx < Count. The caller owns it.
    THashTable* Slice(int32_t startIdx, int32_t stopIdx); // locked

    void* Items(int32_t idx);                // locked
    void SetItems(int32_t idx, void* v);     // locked
    uint32_t Hashes(int32_t idx);            // locked
    void SetHashes(int32_t idx, uint32_t v); // locked
    uint32_t GetFastHash(int32_t idx) const { return fItems[idx].Hash; }
    uint32_t HashesFast(int32_t idx) const { return GetFastHash(idx); }

  private:
    RHashRecord* fItems = nullptr; // fCapacity records
    int32_t fCount = 0;
    int32_t fCapacity = 0;
};

// The one lock of every table; created by the module start-up or the first table.
extern TKestrelCriticalSection* HashTableLock;

// Creates HashTableLock unless it was made before (also by the first table).
void CreateHashTableLockIfNeeded();
void InitializeHUtils();
// Frees HashTableLock; no table may be used or created afterwards.
void FinalizeHUtils();

} // namespace rover
