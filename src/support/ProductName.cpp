// The product name read lazily from the version resource, and the Utils module's life cycle.
#include <cstdint>
#include <cstring>

#include "infra/KestrelSyncObjs.h"
#include "infra/LifecycleProbe.h"
#include "support/ClassesUtils.h"
#include "support/Utils.h"

namespace rover {

TKestrelCriticalSection* ProductNameLock = nullptr;

namespace {

// Set before the first lookup, so that a failed one is not repeated.
bool VersionInfoLoaded = false;
// Null while the name is empty.
std::wstring* ProductName = nullptr;

constexpr wchar_t kProductNameKey[] = L"ProductName";

// Own functions rather than the imports themselves keep the table constant-initialised.
HRSRC WINAPI RealFindResource(HMODULE module, LPCWSTR name, LPCWSTR type) {
    return FindResourceW(module, name, type);
}
HGLOBAL WINAPI RealLoadResource(HMODULE module, HRSRC resource) {
    return LoadResource(module, resource);
}
LPVOID WINAPI RealLockResource(HGLOBAL data) {
    return LockResource(data);
}
DWORD WINAPI RealSizeofResource(HMODULE module, HRSRC resource) {
    return SizeofResource(module, resource);
}
BOOL WINAPI RealFreeResource(HGLOBAL data) {
    return FreeResource(data);
}

VersionResourceApi gVersionResourceCalls = {&RealFindResource, &RealLoadResource, &RealLockResource,
                                            &RealSizeofResource, &RealFreeResource};

// Resource data need not be aligned for 16-bit reads.
wchar_t ElementAt(const unsigned char* bytes, DWORD index) {
    uint16_t element;
    std::memcpy(&element, bytes + 2 * static_cast<size_t>(index), sizeof(element));
    return static_cast<wchar_t>(element);
}

} // namespace

VersionResourceApi& VersionResourceCalls() {
    return gVersionResourceCalls;
}

std::wstring FindVersionValue(const void* data, const std::wstring& key, DWORD size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const DWORD count = size / 2; // whole 16-bit elements only
    const DWORD keyLength = static_cast<DWORD>(key.size());
    if (bytes == nullptr || count <= keyLength)
        return std::wstring();
    // The key and its terminating null must both lie inside the data.
    for (DWORD pos = 0; pos + keyLength < count; ++pos) {
        DWORD k = 0;
        while (k < keyLength && ElementAt(bytes, pos + k) == key[k])
            ++k;
        if (k < keyLength || ElementAt(bytes, pos + keyLength) != 0)
            continue;
        DWORD at = pos + keyLength + 1;
        if (at < count && ElementAt(bytes, at) == 0)
            ++at; // the padding between a key and its value
        std::wstring value;
        for (; at < count; ++at) {
            const wchar_t c = ElementAt(bytes, at);
            if (c == 0)
                break;
            value.push_back(c);
        }
        return value;
    }
    return std::wstring();
}

void LoadVersionInfo() {
    if (VersionInfoLoaded)
        return;
    VersionInfoLoaded = true;
    const VersionResourceApi& calls = gVersionResourceCalls;
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = calls.Find(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (resource == nullptr)
        return;
    const HGLOBAL loaded = calls.Load(module, resource);
    if (loaded == nullptr)
        return;
    const void* bytes = calls.Lock(loaded);
    const DWORD size = calls.Size(module, resource);
    if (bytes != nullptr) {
        std::wstring value = FindVersionValue(bytes, kProductNameKey, size);
        if (!value.empty() && ProductName == nullptr)
            ProductName = new std::wstring(std::move(value));
    }
    calls.Free(loaded);
}

std::wstring GetProductName() {
    // Once FinalizeUtils has freed the lock, a late caller gets no name rather
    // than a freed lock.
    TKestrelCriticalSection* lock = ProductNameLock;
    if (lock == nullptr)
        return std::wstring();
    TSectionLock guard(lock);
    LoadVersionInfo();
    return ProductName != nullptr ? *ProductName : std::wstring();
}

void InitializeUtils() {
    if (ProductNameLock == nullptr)
        ProductNameLock = new TKestrelCriticalSection;
}

void FinalizeUtils() {
    const bool held = ProductNameLock != nullptr || ProductName != nullptr;
    InterlockedFreeAndNil(ProductNameLock);
    InterlockedFreeAndNil(ProductName);
    NoteLifecycleStep(L"FinalizeUtils", held ? 1 : 0);
}

} // namespace rover
