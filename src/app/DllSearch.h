// Keeps every DLL the process loads by name out of the program's own folder.
#pragma once

#include <windows.h>

namespace rover {

// The calls that set the search, swapped by tests for a system that lacks
// SetDefaultDllDirectories (Windows 7 without its DLL-search update).
struct DllSearchApi {
    HMODULE(WINAPI* GetModuleHandle)(LPCWSTR name);
    FARPROC(WINAPI* GetProcAddress)(HMODULE module, LPCSTR name);
    BOOL(WINAPI* SetDllDirectory)(LPCWSTR folder);
};
DllSearchApi& DllSearchCalls();
const DllSearchApi& RealDllSearchCalls();

// Limits later loads by name to the system folder where the system can do
// that; elsewhere takes at least the current folder out of the search.
// Returns true when the search is limited to the system folder.
bool RestrictDllSearchToSystemFolder();

} // namespace rover
