// Keeps every DLL the process loads by name out of the program's own folder.
#include "app/DllSearch.h"

namespace rover {

namespace {

const DllSearchApi kRealDllSearchCalls = {&::GetModuleHandleW, &::GetProcAddress,
                                          &::SetDllDirectoryW};
DllSearchApi gDllSearchCalls = kRealDllSearchCalls;

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

} // namespace

DllSearchApi& DllSearchCalls() {
    return gDllSearchCalls;
}

const DllSearchApi& RealDllSearchCalls() {
    return kRealDllSearchCalls;
}

bool RestrictDllSearchToSystemFolder() {
    // Looked up, not imported: an unpatched Windows 7 lacks it, and a missing
    // import would stop the program before it starts.
    const HMODULE kernel = gDllSearchCalls.GetModuleHandle(L"kernel32.dll");
    const auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void (*)()>(
            kernel != nullptr ? gDllSearchCalls.GetProcAddress(kernel, "SetDefaultDllDirectories")
                              : nullptr));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return true;
    // The program's folder stays first in this search; only the current
    // folder, which a shortcut or a command line may point anywhere, goes.
    gDllSearchCalls.SetDllDirectory(L"");
    return false;
}

} // namespace rover
