// The sorted hash table and the lock that every table shares.
#include "infra/HUtils.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "support/ClassesUtils.h"
#include "support/DebugLog.h"

namespace rover {

namespace {

constexpr int32_t kInitialCapacity = 4;

RHashRecord* ResizeRecords(RHashRecord* records, int32_t oldLength, int32_t newLength) {
    void* grown = std::realloc(records, static_cast<size_t>(newLength) * sizeof(RHashRecord));
    if (grown == nullptr)
        throw std::bad_alloc(); // the old array stays as it was
    auto* result = static_cast<RHashRecord*>(grown);
    if (newLength > oldLength)
        std::memset(&result[oldLength], 0,
                    static_cast<size_t>(newLength - oldLength) * sizeof(RHashRecord));
    return result;
}

RHashRecord* NewZeroRecords(int32_t length) {
    void* block = std::calloc(static_cast<size_t>(length), sizeof(RHashRecord));
    if (block == nullptr)
        throw std::bad_alloc();
    return static_cast<RHashRecord*>(block);
}

int32_t CompareRecordHashes(void* item1, void* item2) {
    const uint32_t a = static_cast<RHashRecord*>(item1)->Hash;
    const uint32_t b = static_cast<RHashRecord*>(item2)->Hash;
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

THashTable::THashTable() {
    // The lock must exist before any table does.
    CreateHashTableLockIfNeeded();
    fItems = NewZeroRecords(kInitialCapacity);
    fCapacity = kInitialCapacity;
}

THashTable::~THashTable() {
    std::free(fItems);
}

void THashTable::CheckCapacity(int32_t aCount) {
    if (aCount <= fCapacity)
        return;
    // Small tables stay small; large ones are not reallocated on every insertion.
    int32_t step = 4;
    if (fCapacity >= 1024)
        step = 256;
    else if (fCapacity >= 16)
        step = 16;
    else if (fCapacity >= 8)
        step = 8;
    const int32_t newLength = aCount + step;
    fItems = ResizeRecords(fItems, fCapacity, newLength);
    fCapacity = newLength;
}

void THashTable::Clear() {
    TSectionLock lock(HashTableLock);
    fCount = 0;
    std::memset(fItems, 0, static_cast<size_t>(fCapacity) * sizeof(RHashRecord));
}

void THashTable::FreeItems() {
    for (int32_t i = 0; i < fCount; ++i)
        delete static_cast<TObject*>(fItems[i].Data);
    Clear();
}

void THashTable::Assign(THashTable* a) {
    TSectionLock lock(HashTableLock);
    try {
        Clear();
        const int32_t count = a != nullptr ? a->Count() : 0;
        if (count > 0) {
            try {
                CheckCapacity(count);
                std::memcpy(fItems, a->fItems, static_cast<size_t>(count) * sizeof(RHashRecord));
                fCount = count;
            } catch (const std::exception& e) {
                LogException(L"HUtils", L"12", e);
                Clear();
            }
        }
    } catch (const std::exception& e) {
        LogException(L"HUtils", L"13", e);
        Clear();
    }
}

void THashTable::Reindex() {
    TSectionLock lock(HashTableLock);
    RHashRecord* sorted = NewZeroRecords(fCapacity);
    TColl* order = nullptr;
    try {
        order = new TColl(fCount, 64); // room for every entry: no growth below
    } catch (...) {
        std::free(sorted);
        throw;
    }
    for (int32_t i = 0; i < fCount; ++i)
        order->Add(&fItems[i]);
    order->Sort(&CompareRecordHashes);
    for (int32_t i = 0; i < fCount; ++i)
        sorted[i] = *static_cast<RHashRecord*>(order->At(i));
    std::free(fItems);
    fItems = sorted;
    // The list points into the old array: it owns nothing to free.
    order->DeleteAll();
    InterlockedFreeAndNil(order);
}

int32_t THashTable::Count() {
    TSectionLock lock(HashTableLock);
    return fCount;
}

int32_t THashTable::HashIndex(uint32_t aHash, TList* resultList, bool mustExist,
                              int32_t startFrom) const {
    const int32_t n = fCount;
    int32_t lo = startFrom;
    int32_t hi = n - 1;
    if (startFrom >= n)
        return mustExist ? -1 : 0;
    if (aHash < fItems[lo].Hash)
        return mustExist ? -1 : 0;
    if (aHash > fItems[hi].Hash)
        return mustExist ? -1 : n;
    int32_t match = -1;
    if (aHash == fItems[lo].Hash) {
        match = lo;
    } else if (aHash == fItems[hi].Hash) {
        match = hi;
    } else {
        while (hi - lo > 1) {
            const int32_t mid = (lo + hi) / 2;
            if (fItems[mid].Hash == aHash) {
                match = mid;
                break;
            }
            if (aHash < fItems[mid].Hash)
                hi = mid;
            else
                lo = mid;
        }
    }
    if (match < 0)
        return mustExist ? -1 : lo + 1;
    while (match > 0 && fItems[match - 1].Hash == aHash)
        --match;
    if (resultList != nullptr)
        for (int32_t i = match; i < n && fItems[i].Hash == aHash; ++i)
            resultList->push_back(fItems[i].Data);
    return match;
}

bool THashTable::HasHash(uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    return HashIndex(aHash, nullptr, true, 0) >= 0;
}

int32_t THashTable::IndexOfHash(uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    return HashIndex(aHash, nullptr, true, 0);
}

void* THashTable::ObjectByHash(uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    const int32_t i = HashIndex(aHash, nullptr, true, 0);
    return i >= 0 ? fItems[i].Data : nullptr;
}

bool THashTable::GetHash(uint32_t aHash, TList* l) {
    TSectionLock lock(HashTableLock);
    return HashIndex(aHash, l, true, 0) >= 0;
}

int32_t THashTable::IndexOfHashedObject(uint32_t aHash, void* aObject) const {
    for (int32_t i = HashIndex(aHash, nullptr, true, 0); i >= 0 && i < fCount; ++i) {
        if (fItems[i].Hash != aHash)
            break;
        if (fItems[i].Data == aObject)
            return i;
    }
    return -1;
}

bool THashTable::HasHashedObject(uint32_t aHash, void* aObject) const {
    return IndexOfHashedObject(aHash, aObject) >= 0;
}

int32_t THashTable::IndexOfObject(void* aObject) {
    TSectionLock lock(HashTableLock);
    for (int32_t i = 0; i < fCount; ++i)
        if (fItems[i].Data == aObject)
            return i;
    return -1;
}

int32_t THashTable::FindFirstAfter(uint32_t aHash) const {
    const int32_t n = fCount;
    if (n == 0 || aHash >= fItems[n - 1].Hash)
        return -1;
    if (aHash < fItems[0].Hash)
        return 0;
    // Everything up to lo is not greater than aHash.
    int32_t lo = 0;
    int32_t hi = n - 1;
    while (hi - lo > 1) {
        const int32_t mid = (lo + hi) / 2;
        if (fItems[mid].Hash == aHash) {
            lo = mid;
            break;
        }
        if (aHash < fItems[mid].Hash)
            hi = mid;
        else
            lo = mid;
    }
    while (fItems[lo].Hash <= aHash)
        ++lo; // stops at the last entry at the latest, which is greater
    return lo;
}

int32_t THashTable::FindLastBefore(uint32_t aHash) const {
    const int32_t n = fCount;
    if (n == 0 || aHash <= fItems[0].Hash)
        return -1;
    if (aHash > fItems[n - 1].Hash)
        return n - 1;
    // Everything from hi on is not less than aHash.
    int32_t lo = 0;
    int32_t hi = n - 1;
    while (hi - lo > 1) {
        const int32_t mid = (lo + hi) / 2;
        if (fItems[mid].Hash == aHash) {
            hi = mid;
            break;
        }
        if (aHash < fItems[mid].Hash)
            hi = mid;
        else
            lo = mid;
    }
    while (fItems[hi].Hash >= aHash)
        --hi; // stops at the first entry at the latest, which is less
    return hi;
}

void THashTable::AddObject(void* aObject, uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    AtInsert(HashIndex(aHash, nullptr, false, 0), aObject, aHash);
}

void THashTable::AddUnsorted(void* aObject, uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    AtInsert(fCount, aObject, aHash);
}

void THashTable::AtInsert(int32_t aIdx, void* aObject, uint32_t aHash) {
    if (aIdx < 0)
        aIdx = 0;
    if (aIdx > fCount)
        aIdx = fCount;
    CheckCapacity(fCount + 1);
    if (fCapacity <= fCount)
        return;
    std::memmove(&fItems[aIdx + 1], &fItems[aIdx],
                 static_cast<size_t>(fCount - aIdx) * sizeof(RHashRecord));
    fItems[aIdx].Hash = aHash;
    fItems[aIdx].Data = aObject;
    ++fCount;
}

void THashTable::AtDelete(int32_t aIdx, int32_t aCount) {
    if (aIdx < 0 || aIdx >= fCount || aCount <= 0)
        return;
    // A run past the end removes only what is there.
    if (aCount > fCount - aIdx)
        aCount = fCount - aIdx;
    std::memmove(&fItems[aIdx], &fItems[aIdx + aCount],
                 static_cast<size_t>(fCount - aIdx - aCount) * sizeof(RHashRecord));
    fCount -= aCount;
}

int32_t THashTable::DeleteHash(uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    const int32_t first = HashIndex(aHash, nullptr, true, 0);
    if (first < 0)
        return 0;
    int32_t count = 1;
    while (first + count < fCount && fItems[first + count].Hash == aHash)
        ++count;
    AtDelete(first, count);
    return count;
}

bool THashTable::DeleteObject(void* aObject, uint32_t aHash) {
    TSectionLock lock(HashTableLock);
    const int32_t i = IndexOfHashedObject(aHash, aObject);
    if (i < 0)
        return false;
    AtDelete(i, 1);
    return true;
}

int32_t THashTable::DeleteThat(TSHBooleanCheck check) {
    TSectionLock lock(HashTableLock);
    // Owned until it replaces the items, so a throwing callback leaks nothing.
    std::unique_ptr<RHashRecord, void (*)(void*)> kept(nullptr, &std::free);
    int32_t keptCount = 0;
    int32_t removed = 0;
    bool stop = false;
    int32_t i = 0;
    for (; i < fCount; ++i) {
        const bool remove =
            check.Code(check.Self, fItems[i].Data, static_cast<int32_t>(fItems[i].Hash), stop);
        if (remove) {
            if (kept == nullptr) {
                kept.reset(NewZeroRecords(fCapacity));
                std::memcpy(kept.get(), fItems, static_cast<size_t>(i) * sizeof(RHashRecord));
                keptCount = i;
            }
            ++removed;
        } else if (kept != nullptr) {
            kept.get()[keptCount++] = fItems[i];
        }
        if (stop) {
            ++i;
            break;
        }
    }
    if (kept == nullptr)
        return 0;
    // The entries after the stop point stay, unexamined.
    for (; i < fCount; ++i)
        kept.get()[keptCount++] = fItems[i];
    std::free(fItems);
    fItems = kept.release();
    fCount -= removed;
    return removed;
}

int32_t THashTable::ForEach(TSHSimpleCheck check) {
    int32_t calls = 0;
    bool stop = false;
    for (int32_t i = 0; i < fCount && !stop; ++i) {
        check.Code(check.Self, fItems[i].Data, static_cast<int32_t>(fItems[i].Hash), stop);
        ++calls;
    }
    return calls;
}

int32_t THashTable::FirstThat(TSHBooleanCheck check) {
    bool stop = false;
    for (int32_t i = 0; i < fCount; ++i) {
        if (check.Code(check.Self, fItems[i].Data, static_cast<int32_t>(fItems[i].Hash), stop))
            return i;
        if (stop)
            return -1;
    }
    return -1;
}

int32_t THashTable::LastThat(TSHBooleanCheck check) {
    bool stop = false;
    for (int32_t i = fCount - 1; i >= 0; --i) {
        if (check.Code(check.Self, fItems[i].Data, static_cast<int32_t>(fItems[i].Hash), stop))
            return i;
        if (stop)
            return -1;
    }
    return -1;
}

THashTable* THashTable::Slice(int32_t startIdx, int32_t stopIdx) {
    if (!(0 <= startIdx && startIdx < stopIdx && stopIdx < fCount))
        return nullptr;
    TSectionLock lock(HashTableLock);
    THashTable* result = nullptr;
    try {
        result = new THashTable;
        try {
            const int32_t n = stopIdx - startIdx + 1;
            result->CheckCapacity(n);
            std::memcpy(result->fItems, &fItems[startIdx],
                        static_cast<size_t>(n) * sizeof(RHashRecord));
            result->fCount = n;
        } catch (const std::exception& e) {
            LogException(L"HUtils", L"SortedHashIdx.Splice-Copy", e);
        }
    } catch (const std::exception& e) {
        LogException(L"HUtils", L"SortedHashIdx.Splice", e);
        delete result;
        result = nullptr;
    }
    return result;
}

void* THashTable::Items(int32_t idx) {
    TSectionLock lock(HashTableLock);
    return idx >= 0 && idx < fCount ? fItems[idx].Data : nullptr;
}

void THashTable::SetItems(int32_t idx, void* v) {
    TSectionLock lock(HashTableLock);
    if (idx >= 0 && idx < fCount)
        fItems[idx].Data = v;
}

uint32_t THashTable::Hashes(int32_t idx) {
    TSectionLock lock(HashTableLock);
    return idx >= 0 && idx < fCount ? fItems[idx].Hash : 0;
}

void THashTable::SetHashes(int32_t idx, uint32_t v) {
    TSectionLock lock(HashTableLock);
    if (idx >= 0 && idx < fCount)
        fItems[idx].Hash = v;
}

} // namespace rover
