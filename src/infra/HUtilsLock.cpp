// The lock that every hash table shares, with the HUtils module's start-up and shutdown.
// Kept apart from the table so that the program, which keeps no table, links only this.
#include "infra/HUtils.h"
#include "infra/LifecycleProbe.h"
#include "support/ClassesUtils.h"

namespace rover {

TKestrelCriticalSection* HashTableLock = nullptr;

namespace {

bool HashTableLockNeeded = true;

} // namespace

void CreateHashTableLockIfNeeded() {
    if (HashTableLockNeeded) {
        HashTableLock = new TKestrelCriticalSection;
        HashTableLockNeeded = false;
    }
}

void InitializeHUtils() {
    CreateHashTableLockIfNeeded();
}

void FinalizeHUtils() {
    const bool held = HashTableLock != nullptr;
    InterlockedFreeAndNil(HashTableLock);
    NoteLifecycleStep(L"FinalizeHUtils", held ? 1 : 0);
}

} // namespace rover
