// Drive inventory: what the system reports about each drive, turned into the drive list's rows.
#include "destination/DriveInventory.h"

#include <winnetwk.h>

#include <cwchar>

#include <commctrl.h>

#include "support/Utils.h"

namespace rover {

namespace {

DWORD WINAPI WNetGetUniversalNameFromSystemMpr(LPCWSTR path, DWORD level, LPVOID buffer,
                                               LPDWORD size);

const DriveQueryApi kRealDriveQueryCalls = {
    &::GetLogicalDrives,      &::GetDriveTypeW,       &::QueryDosDeviceW,
    &::GetVolumeInformationW, &::GetDiskFreeSpaceExW, &WNetGetUniversalNameFromSystemMpr,
    &::SHGetFileInfoW,        &::LoadLibraryExW,
};
DriveQueryApi gDriveQueryCalls = kRealDriveQueryCalls;

// A DLL imported by name, or loaded by a bare name, is looked for in the
// program's folder first, and the setup usually runs from a download folder
// where anyone can leave an mpr.dll. So mpr is loaded from the system folder
// only, and only when a network drive's name is asked for.
HMODULE LoadSystemMpr() {
    HMODULE mpr = gDriveQueryCalls.LoadLibraryEx(L"mpr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (mpr != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return mpr;
    // Windows 7 without its DLL-search update knows no LOAD_LIBRARY_SEARCH_*
    // flag. A full path in the system folder is as safe, and the altered
    // search finds mpr's own imports there too rather than beside the program.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring full = std::wstring(folder, length) + L"\\mpr.dll";
    return gDriveQueryCalls.LoadLibraryEx(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

using WNetGetUniversalNameProc = DWORD(WINAPI*)(LPCWSTR, DWORD, LPVOID, LPDWORD);

// Without mpr the name is simply not found, as for a drive that has none.
DWORD WINAPI WNetGetUniversalNameFromSystemMpr(LPCWSTR path, DWORD level, LPVOID buffer,
                                               LPDWORD size) {
    const HMODULE mpr = LoadSystemMpr();
    if (mpr == nullptr)
        return ERROR_MOD_NOT_FOUND;
    // Through void(*)() the compiler accepts the cast to the real signature.
    const auto proc = reinterpret_cast<WNetGetUniversalNameProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(mpr, "WNetGetUniversalNameW")));
    const DWORD result = proc != nullptr ? proc(path, level, buffer, size) : ERROR_PROC_NOT_FOUND;
    FreeLibrary(mpr);
    return result;
}

// Capacity of each text buffer of a row, in UTF-16 characters.
constexpr DWORD kTextCapacity = 261;
// Byte size of the buffer given to the network provider.
constexpr DWORD kUniversalNameBufferSize = 1024;
constexpr wchar_t kFloppyDevicePrefix[] = L"\\Device\\Floppy";
constexpr UINT kShellIconInfoFlags = SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_TYPENAME;

constexpr long long kKiB = 1024;
constexpr long long kMiB = 1024 * kKiB;
constexpr long long kGiB = 1024 * kMiB;

// bytes / unit with one decimal, rounded on the next decimal digit (a half
// goes up). Works on the remainder so that no product can overflow.
std::wstring OneDecimal(long long bytes, long long unit, const wchar_t* suffix) {
    const unsigned long long n = static_cast<unsigned long long>(bytes);
    const unsigned long long u = static_cast<unsigned long long>(unit);
    unsigned long long whole = n / u;
    unsigned long long rest = n % u;
    unsigned long long tenths = rest * 10 / u;
    rest = rest * 10 % u;
    const unsigned long long next = rest * 10 / u;
    if (next >= 5 && ++tenths == 10) {
        tenths = 0;
        ++whole;
    }
    std::wstring text;
    text += DecimalText(whole);
    text += L'.';
    text += static_cast<wchar_t>(L'0' + tenths);
    text += suffix;
    return text;
}

std::wstring BoundedText(const wchar_t* buffer, size_t capacity) {
    return std::wstring(buffer, wcsnlen(buffer, capacity));
}

std::wstring UniversalNameOf(const std::wstring& root) {
    alignas(8) BYTE buffer[kUniversalNameBufferSize] = {};
    DWORD size = kUniversalNameBufferSize;
    if (gDriveQueryCalls.WNetGetUniversalName(root.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer,
                                              &size) != NO_ERROR)
        return std::wstring();
    const wchar_t* name = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer)->lpUniversalName;
    // The provider places the text behind the record; read no further than the buffer.
    const auto* first = reinterpret_cast<const wchar_t*>(buffer);
    const auto* end = reinterpret_cast<const wchar_t*>(buffer + kUniversalNameBufferSize);
    if (name == nullptr || name < first || name >= end)
        return std::wstring();
    std::wstring text = BoundedText(name, static_cast<size_t>(end - name));
    // A provider may hand the local root back when it knows no better name.
    if (CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), root.c_str(),
                             static_cast<int>(root.size()), TRUE) == CSTR_EQUAL)
        return std::wstring();
    return text;
}

// Asked about a drive without its medium (an empty card reader or CD drive), Windows may
// stop and show its own "There is no disk in the drive" box instead of failing the call
// with ERROR_NOT_READY; the list must fill without asking the user anything.
class TNoCriticalErrorBoxes {
  public:
    TNoCriticalErrorBoxes() {
        changed_ = SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &old_) != 0;
    }
    ~TNoCriticalErrorBoxes() {
        if (changed_)
            SetThreadErrorMode(old_, nullptr);
    }
    TNoCriticalErrorBoxes(const TNoCriticalErrorBoxes&) = delete;
    TNoCriticalErrorBoxes& operator=(const TNoCriticalErrorBoxes&) = delete;

  private:
    DWORD old_ = 0;
    bool changed_ = false;
};

} // namespace

DriveQueryApi& DriveQueryCalls() {
    return gDriveQueryCalls;
}

const DriveQueryApi& RealDriveQueryCalls() {
    return kRealDriveQueryCalls;
}

std::wstring FormatSize(long long bytes) {
    if (bytes < kKiB) {
        std::wstring text;
        if (bytes < 0)
            text += L'-';
        text += DecimalText(bytes < 0 ? 0ULL - static_cast<unsigned long long>(bytes)
                                      : static_cast<unsigned long long>(bytes));
        return text + L" b";
    }
    if (bytes < kMiB)
        return OneDecimal(bytes, kKiB, L" KB");
    if (bytes < kGiB)
        return OneDecimal(bytes, kMiB, L" MB");
    return OneDecimal(bytes, kGiB, L" GB");
}

std::wstring DriveTypeText(UINT driveType) {
    switch (driveType) {
    case DRIVE_NO_ROOT_DIR:
        return L"Invalid";
    case DRIVE_REMOVABLE:
        return L"Removable Drive";
    case DRIVE_FIXED:
        return L"Local Disk";
    case DRIVE_REMOTE:
        return L"Network Drive";
    case DRIVE_CDROM:
        return L"CD Drive";
    case DRIVE_RAMDISK:
        return L"RAM Drive";
    default:
        return L"Unknown";
    }
}

std::vector<std::wstring> PresentDriveRoots() {
    const DWORD mask = gDriveQueryCalls.GetLogicalDrives();
    std::vector<std::wstring> roots;
    for (int i = 0; i < 26; ++i) {
        if (mask & (1UL << i))
            roots.push_back(std::wstring{static_cast<wchar_t>(L'A' + i), L':', L'\\'});
    }
    return roots;
}

TDriveRow DriveRowOf(const std::wstring& root) {
    const TNoCriticalErrorBoxes quiet;
    const UINT driveType = gDriveQueryCalls.GetDriveType(root.c_str());
    std::wstring kind = DriveTypeText(driveType);

    wchar_t target[kTextCapacity] = {};
    const std::wstring device = root.substr(0, 2);
    if (gDriveQueryCalls.QueryDosDevice(device.c_str(), target, kTextCapacity) == 0)
        target[0] = L'\0';
    const std::wstring firstTarget = BoundedText(target, kTextCapacity);

    long long total = 0;
    long long available = 0;
    std::wstring label;
    const size_t prefixLength = sizeof(kFloppyDevicePrefix) / sizeof(wchar_t) - 1;
    if (firstTarget.compare(0, prefixLength, kFloppyDevicePrefix) == 0) {
        // Asking a floppy drive about its volume spins it up, or waits for a disk.
        kind = L"Floppy Drive";
    } else {
        wchar_t volumeLabel[kTextCapacity] = {};
        wchar_t fileSystem[kTextCapacity] = {};
        if (gDriveQueryCalls.GetVolumeInformation(root.c_str(), volumeLabel, kTextCapacity, nullptr,
                                                  nullptr, nullptr, fileSystem, kTextCapacity)) {
            label = BoundedText(volumeLabel, kTextCapacity);
            ULARGE_INTEGER toCaller = {};
            ULARGE_INTEGER totalBytes = {};
            ULARGE_INTEGER freeBytes = {};
            if (gDriveQueryCalls.GetDiskFreeSpaceEx(root.c_str(), &toCaller, &totalBytes,
                                                    &freeBytes)) {
                available = static_cast<long long>(toCaller.QuadPart);
                total = static_cast<long long>(totalBytes.QuadPart);
            }
        }
    }
    if (label.empty() && driveType == DRIVE_REMOTE)
        label = UniversalNameOf(root);

    TDriveRow row;
    SHFILEINFOW info = {};
    // Without an answer from the shell the row shows no icon.
    row.Image = gDriveQueryCalls.SHGetFileInfo(root.c_str(), 0, &info, sizeof(info),
                                               kShellIconInfoFlags) != 0
                    ? info.iIcon
                    : I_IMAGENONE;
    row.Caption = L" " + device;
    row.SubItems = {label, kind};
    if (total > 0) {
        row.SubItems.push_back(FormatSize(total));
        row.SubItems.push_back(FormatSize(available));
    }
    return row;
}

} // namespace rover
