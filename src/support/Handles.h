// Owning, non-copyable wrappers for kernel handles, find handles, GDI objects and icons.
#pragma once

#include <windows.h>

#include <utility>

namespace rover {

// One owner per handle type; Traits::Close releases, Traits::Invalid() is the empty value.
template <class Traits> class TUniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    TUniqueHandle() noexcept : h_(Traits::Invalid()) {}
    explicit TUniqueHandle(Handle h) noexcept : h_(h) {}
    ~TUniqueHandle() { Reset(); }

    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : h_(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return h_; }
    bool Valid() const noexcept { return Traits::IsValid(h_); }
    explicit operator bool() const noexcept { return Valid(); }

    Handle Release() noexcept { return std::exchange(h_, Traits::Invalid()); }
    void Reset(Handle h = Traits::Invalid()) noexcept {
        Handle old = std::exchange(h_, h);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

  private:
    Handle h_;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    // Kernel calls disagree on their failure value, so both count as empty.
    static bool IsValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle h) noexcept { return h != nullptr; }
    static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

using TKernelHandle = TUniqueHandle<KernelHandleTraits>;
using TFindHandle = TUniqueHandle<FindHandleTraits>;
using TGdiObject = TUniqueHandle<GdiObjectTraits>;
using TIconHandle = TUniqueHandle<IconTraits>;

} // namespace rover
