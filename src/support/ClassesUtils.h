// Release routines for shared variables and owned object lists.
#pragma once

#include <windows.h>

#include <vector>

namespace rover {

// The variable is null before the destructor starts, so a second or concurrent
// call finds nothing to free.
template <class T> void InterlockedFreeAndNil(T*& variable) {
    static_assert(sizeof(T*) == sizeof(PVOID), "pointer exchange");
    T* old = static_cast<T*>(
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&variable), nullptr));
    delete old;
}

// Destroys every object of the list and empties it; the list itself survives.
template <class T> void FreeListObjects(std::vector<T*>* list) {
    if (list == nullptr)
        return;
    const size_t count = list->size();
    for (size_t i = 0; i < count; ++i) {
        T* item = (*list)[i];
        if (item != nullptr)
            delete item;
    }
    list->clear();
}

template <class T> void FreeListAndNil(std::vector<T*>*& variable) {
    if (variable == nullptr)
        return;
    std::vector<T*>* list = static_cast<std::vector<T*>*>(
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&variable), nullptr));
    FreeListObjects(list);
    InterlockedFreeAndNil(list);
}

} // namespace rover
