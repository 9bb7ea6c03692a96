// The DLL search set at start: the system folder only, or at least without the current folder.
#include <gtest/gtest.h>

#include <string>

#include "app/DllSearch.h"

namespace rover {
namespace {

struct FakeKernel {
    bool HasSetDefault = true;
    BOOL SetDefaultResult = TRUE;
    DWORD SetDefaultFlags = 0;
    int SetDefaultCalls = 0;
    std::wstring DllDirectory = L"(unset)";
};
FakeKernel gKernel;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
    ++gKernel.SetDefaultCalls;
    gKernel.SetDefaultFlags = flags;
    return gKernel.SetDefaultResult;
}
FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
    if (module != GetModuleHandleW(L"kernel32.dll") ||
        std::string(name) != "SetDefaultDllDirectories" || !gKernel.HasSetDefault)
        return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeSetDefaultDllDirectories));
}
BOOL WINAPI FakeSetDllDirectory(LPCWSTR folder) {
    gKernel.DllDirectory = folder != nullptr ? folder : L"(null)";
    return TRUE;
}

TEST(DllSearch, SystemFolderWhereTheSystemCanElseNoCurrentFolder) {
    struct Case {
        const char* What;
        bool HasSetDefault;
        BOOL SetDefaultResult;
        bool Restricted;
        int SetDefaultCalls;
        const wchar_t* DllDirectory;
    };
    const Case cases[] = {
        {"updated system", true, TRUE, true, 1, L"(unset)"},
        {"Windows 7 without the update", false, TRUE, false, 0, L""},
        {"the call fails", true, FALSE, false, 1, L""},
    };
    for (const Case& c : cases) {
        gKernel = FakeKernel();
        gKernel.HasSetDefault = c.HasSetDefault;
        gKernel.SetDefaultResult = c.SetDefaultResult;
        DllSearchCalls() = {&::GetModuleHandleW, &FakeGetProcAddress, &FakeSetDllDirectory};
        const bool restricted = RestrictDllSearchToSystemFolder();
        DllSearchCalls() = RealDllSearchCalls();
        EXPECT_EQ(restricted, c.Restricted) << c.What;
        EXPECT_EQ(gKernel.SetDefaultCalls, c.SetDefaultCalls) << c.What;
        if (c.SetDefaultCalls > 0) {
            EXPECT_EQ(gKernel.SetDefaultFlags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32))
                << c.What;
        }
        EXPECT_EQ(gKernel.DllDirectory, c.DllDirectory) << c.What;
    }
}

} // namespace
} // namespace rover
