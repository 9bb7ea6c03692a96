// Drive inventory: the drive list's rows as plain data, over a table of the system's drive queries.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace rover {

// Every system call the inventory makes. Tests swap entries for what the
// system they run on cannot produce (a floppy, a network drive, quotas).
// The real WNetGetUniversalName loads mpr.dll through LoadLibraryEx at each
// call: mpr is no known DLL, so the program never imports it by name.
struct DriveQueryApi {
    DWORD(WINAPI* GetLogicalDrives)();
    UINT(WINAPI* GetDriveType)(LPCWSTR root);
    DWORD(WINAPI* QueryDosDevice)(LPCWSTR device, LPWSTR targets, DWORD size);
    BOOL(WINAPI* GetVolumeInformation)
    (LPCWSTR root, LPWSTR label, DWORD labelSize, LPDWORD serial, LPDWORD maxComponent,
     LPDWORD flags, LPWSTR fileSystem, DWORD fileSystemSize);
    BOOL(WINAPI* GetDiskFreeSpaceEx)
    (LPCWSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total, PULARGE_INTEGER totalFree);
    DWORD(WINAPI* WNetGetUniversalName)(LPCWSTR path, DWORD level, LPVOID buffer, LPDWORD size);
    DWORD_PTR(WINAPI* SHGetFileInfo)
    (LPCWSTR path, DWORD attributes, SHFILEINFOW* info, UINT infoSize, UINT flags);
    HMODULE(WINAPI* LoadLibraryEx)(LPCWSTR name, HANDLE reserved, DWORD flags);
};
DriveQueryApi& DriveQueryCalls();
const DriveQueryApi& RealDriveQueryCalls();

// One row of the drive list: caption, image and the sub-items in column order.
struct TDriveRow {
    std::wstring Caption;
    int Image = 0;
    std::vector<std::wstring> SubItems;
};

// Size text in multiples of 1024, one decimal, always a point: "512 b", "1.3 KB".
std::wstring FormatSize(long long bytes);
// Text for a GetDriveTypeW code.
std::wstring DriveTypeText(UINT driveType);

// The roots ("C:\") of the drives present, in letter order.
std::vector<std::wstring> PresentDriveRoots();
// Everything of one drive's row; root is a letter, a colon and a backslash.
TDriveRow DriveRowOf(const std::wstring& root);

} // namespace rover
