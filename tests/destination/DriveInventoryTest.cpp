// Drive inventory: size and kind texts, and rows over faked answers Wine cannot give for real.
#include <gtest/gtest.h>

#include <windows.h>
#include <winnetwk.h>

#include <clocale>
#include <cstring>
#include <cwctype>
#include <map>

#include <commctrl.h>

#include "TestHarness.h"
#include "destination/DriveInventory.h"

namespace rover {
namespace {

constexpr long long KiB = 1024;
constexpr long long MiB = 1024 * KiB;
constexpr long long GiB = 1024 * MiB;

TEST(FormatSize, ExamplesAndThresholds) {
    struct Case {
        long long Bytes;
        const wchar_t* Text;
    };
    const Case cases[] = {
        {0, L"0 b"},
        {512, L"512 b"},
        {1023, L"1023 b"},
        {1024, L"1.0 KB"},
        {1280, L"1.3 KB"}, // 1.25: an exact half rounds up
        {1536, L"1.5 KB"},
        {1075, L"1.0 KB"},       // 1.0498: only the next digit counts
        {MiB - 1, L"1024.0 KB"}, // rounding carries into the whole part
        {MiB, L"1.0 MB"},
        {5 * MiB + 300 * KiB, L"5.3 MB"},
        {GiB - 1, L"1024.0 MB"},
        {GiB, L"1.0 GB"},
        {GiB + GiB / 2, L"1.5 GB"},
        {2000 * GiB, L"2000.0 GB"},
        {0x7FFFFFFFFFFFFFFFLL, L"8589934592.0 GB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatSize(c.Bytes), c.Text) << c.Bytes;
}

// A user whose decimal separator is a comma, in the system's settings and in
// the C runtime, still sees a point.
TEST(FormatSize, AlwaysUsesAPoint) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\International", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    wchar_t saved[16] = {};
    DWORD savedSize = sizeof saved;
    const bool hadValue =
        RegQueryValueExW(key, L"sDecimal", nullptr, nullptr, reinterpret_cast<BYTE*>(saved),
                         &savedSize) == ERROR_SUCCESS;
    const wchar_t comma[] = L",";
    RegSetValueExW(key, L"sDecimal", 0, REG_SZ, reinterpret_cast<const BYTE*>(comma), sizeof comma);
    _wsetlocale(LC_ALL, L"German");
    wchar_t number[32] = {};
    GetNumberFormatW(LOCALE_USER_DEFAULT, 0, L"1.5", nullptr, number, 32);
    const std::wstring userNumber = number;

    const std::wstring text = FormatSize(1536);

    _wsetlocale(LC_ALL, L"C");
    if (hadValue)
        RegSetValueExW(key, L"sDecimal", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved),
                       savedSize);
    else
        RegDeleteValueW(key, L"sDecimal");
    RegCloseKey(key);
    if (userNumber.find(L',') == std::wstring::npos)
        GTEST_SKIP() << "the system does not take the comma: " << userNumber;
    EXPECT_EQ(text, L"1.5 KB");
}

TEST(DriveTypeText, EveryCode) {
    const wchar_t* expected[] = {L"Unknown",       L"Invalid",  L"Removable Drive", L"Local Disk",
                                 L"Network Drive", L"CD Drive", L"RAM Drive",       L"Unknown"};
    for (UINT code = 0; code < 8; ++code)
        EXPECT_EQ(DriveTypeText(code), expected[code]) << code;
    EXPECT_EQ(DriveTypeText(0xFFFFFFFF), L"Unknown");
}

// What a faked system reports about one drive.
struct FakeDrive {
    UINT Type = DRIVE_FIXED;
    const wchar_t* Target = L"\\Device\\HarddiskVolume1";
    bool TargetOk = true;
    bool VolumeOk = true;
    const wchar_t* Label = L"";
    bool SpaceOk = true;
    unsigned long long ToCaller = 0;
    unsigned long long Total = 0;
    unsigned long long Free = 0;
    DWORD NetResult = ERROR_NOT_CONNECTED;
    const wchar_t* UniversalName = L"";
    int Icon = 3;
    bool IconOk = true;
};

// What LoadLibraryEx does when asked for mpr.
enum class MprLoad { Plant, Missing, OldWindows7, WithoutFunction };

struct FakeSystem {
    DWORD Mask = 0;
    MprLoad Mpr = MprLoad::Plant;
    std::vector<std::pair<std::wstring, DWORD>> Loads; // name and flags of each load
    DWORD ErrorModeAtVolumeQuery = 0;
    std::map<wchar_t, FakeDrive> Drives;
    std::wstring Calls; // one letter per query kind and drive, e.g. "V:A"
    UINT IconFlags = 0;
};
FakeSystem gFake;

FakeDrive& DriveOf(LPCWSTR path) {
    return gFake.Drives[static_cast<wchar_t>(towupper(path[0]))];
}
void Record(wchar_t what, LPCWSTR path) {
    gFake.Calls += what;
    gFake.Calls += L':';
    gFake.Calls += path[0];
    gFake.Calls += L' ';
}

DWORD WINAPI FakeGetLogicalDrives() {
    return gFake.Mask;
}
UINT WINAPI FakeGetDriveType(LPCWSTR root) {
    return DriveOf(root).Type;
}
DWORD WINAPI FakeQueryDosDevice(LPCWSTR device, LPWSTR targets, DWORD size) {
    const FakeDrive& d = DriveOf(device);
    if (!d.TargetOk) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const size_t length = wcslen(d.Target);
    if (length + 2 > size)
        return 0;
    memcpy(targets, d.Target, (length + 1) * sizeof(wchar_t));
    targets[length + 1] = L'\0';
    return static_cast<DWORD>(length + 2);
}
BOOL WINAPI FakeGetVolumeInformation(LPCWSTR root, LPWSTR label, DWORD labelSize, LPDWORD, LPDWORD,
                                     LPDWORD, LPWSTR, DWORD) {
    Record(L'V', root);
    gFake.ErrorModeAtVolumeQuery = GetThreadErrorMode();
    const FakeDrive& d = DriveOf(root);
    if (!d.VolumeOk) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    lstrcpynW(label, d.Label, static_cast<int>(labelSize));
    return TRUE;
}
BOOL WINAPI FakeGetDiskFreeSpaceEx(LPCWSTR root, PULARGE_INTEGER toCaller, PULARGE_INTEGER total,
                                   PULARGE_INTEGER totalFree) {
    Record(L'S', root);
    const FakeDrive& d = DriveOf(root);
    if (!d.SpaceOk)
        return FALSE;
    toCaller->QuadPart = d.ToCaller;
    total->QuadPart = d.Total;
    totalFree->QuadPart = d.Free;
    return TRUE;
}
DWORD WINAPI FakeWNetGetUniversalName(LPCWSTR path, DWORD level, LPVOID buffer, LPDWORD size) {
    Record(L'N', path);
    const FakeDrive& d = DriveOf(path);
    if (level != UNIVERSAL_NAME_INFO_LEVEL || *size != 1024)
        return ERROR_INVALID_PARAMETER;
    if (d.NetResult != NO_ERROR)
        return d.NetResult;
    auto* info = static_cast<UNIVERSAL_NAME_INFOW*>(buffer);
    auto* text = reinterpret_cast<wchar_t*>(info + 1);
    lstrcpyW(text, d.UniversalName);
    info->lpUniversalName = text;
    return NO_ERROR;
}
DWORD_PTR WINAPI FakeSHGetFileInfo(LPCWSTR path, DWORD, SHFILEINFOW* info, UINT, UINT flags) {
    gFake.IconFlags = flags;
    const FakeDrive& d = DriveOf(path);
    if (!d.IconOk)
        return 0;
    info->iIcon = d.Icon;
    return 0x1234;
}

// The test build's planted mpr.dll stands for the system's: it names every
// drive \\plant\share. Wine would load its own mpr for any file of that
// name, so the plant is loaded under another.
HMODULE WINAPI FakeLoadLibraryEx(LPCWSTR name, HANDLE, DWORD flags) {
    gFake.Loads.emplace_back(name, flags);
    switch (gFake.Mpr) {
    case MprLoad::Missing:
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    case MprLoad::OldWindows7:
        if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        break;
    case MprLoad::WithoutFunction:
        return LoadLibraryW(L"kernel32.dll");
    case MprLoad::Plant:
        break;
    }
    return LoadLibraryW(test::BuildPath(L"tests\\plant\\plant_provider.dll").c_str());
}

class DriveRows : public ::testing::Test {
  protected:
    void SetUp() override {
        gFake = FakeSystem();
        DriveQueryCalls() = {&FakeGetLogicalDrives,   &FakeGetDriveType,
                             &FakeQueryDosDevice,     &FakeGetVolumeInformation,
                             &FakeGetDiskFreeSpaceEx, &FakeWNetGetUniversalName,
                             &FakeSHGetFileInfo,      &FakeLoadLibraryEx};
    }
    void TearDown() override { DriveQueryCalls() = RealDriveQueryCalls(); }

    static TDriveRow Row(wchar_t letter, const FakeDrive& drive) {
        gFake.Drives[letter] = drive;
        gFake.Calls.clear();
        return DriveRowOf(std::wstring{letter, L':', L'\\'});
    }
};

TEST_F(DriveRows, FloppyIsNeverAskedAboutItsVolume) {
    FakeDrive floppy;
    floppy.Type = DRIVE_REMOVABLE;
    floppy.Target = L"\\Device\\Floppy0";
    floppy.Label = L"DISK";
    floppy.Total = floppy.ToCaller = 1474560;
    const TDriveRow row = Row(L'A', floppy);
    EXPECT_EQ(row.Caption, L" A:");
    EXPECT_EQ(row.SubItems, (std::vector<std::wstring>{L"", L"Floppy Drive"}));
    EXPECT_EQ(gFake.Calls, L"");
}

TEST_F(DriveRows, OnlyTheExactDevicePrefixMakesAFloppy) {
    FakeDrive drive;
    drive.Type = DRIVE_REMOVABLE;
    drive.Target = L"\\device\\floppy0";
    EXPECT_EQ(Row(L'B', drive).SubItems[1], L"Removable Drive");
    drive.TargetOk = false; // no device target: not a floppy either
    EXPECT_EQ(Row(L'B', drive).SubItems[1], L"Removable Drive");
    EXPECT_EQ(gFake.Calls, L"V:B S:B ");
}

TEST_F(DriveRows, NetworkDriveName) {
    struct Case {
        const wchar_t* Label;
        DWORD NetResult;
        const wchar_t* UniversalName;
        const wchar_t* Name;
        bool AsksNetwork;
    };
    const Case cases[] = {
        {L"", NO_ERROR, L"\\\\server\\mail", L"\\\\server\\mail", true},
        {L"SHARE", NO_ERROR, L"\\\\server\\mail", L"SHARE", false}, // a label wins
        {L"", ERROR_NOT_CONNECTED, L"", L"", true},                 // the network fails
        {L"", NO_ERROR, L"N:\\", L"", true},                        // the root itself
        {L"", NO_ERROR, L"n:\\", L"", true},
    };
    for (const Case& c : cases) {
        FakeDrive net;
        net.Type = DRIVE_REMOTE;
        net.Target = L"\\Device\\LanmanRedirector\\;N:0\\server\\mail";
        net.Label = c.Label;
        net.NetResult = c.NetResult;
        net.UniversalName = c.UniversalName;
        net.Total = 10 * GiB;
        net.ToCaller = 3 * GiB;
        const TDriveRow row = Row(L'N', net);
        EXPECT_EQ(row.SubItems,
                  (std::vector<std::wstring>{c.Name, L"Network Drive", L"10.0 GB", L"3.0 GB"}))
            << c.UniversalName;
        EXPECT_EQ(gFake.Calls.find(L"N:N") != std::wstring::npos, c.AsksNetwork);
    }
    // Only a remote drive asks the network.
    FakeDrive local;
    Row(L'C', local);
    EXPECT_EQ(gFake.Calls, L"V:C S:C ");
}

// The program's own way to the network name: mpr from the system folder only,
// and no name at all where mpr or its function is missing.
TEST_F(DriveRows, NetworkNameThroughMprLoadedAtRunTime) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring fullMpr = std::wstring(system, length) + L"\\mpr.dll";
    using Loads = std::vector<std::pair<std::wstring, DWORD>>;
    struct Case {
        MprLoad Mpr;
        const wchar_t* Name;
        Loads Expected;
    };
    const Case cases[] = {
        {MprLoad::Plant, L"\\\\plant\\share", {{L"mpr.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}},
        {MprLoad::Missing, L"", {{L"mpr.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}},
        {MprLoad::WithoutFunction, L"", {{L"mpr.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}},
        {MprLoad::OldWindows7,
         L"\\\\plant\\share",
         {{L"mpr.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}, {fullMpr, LOAD_WITH_ALTERED_SEARCH_PATH}}},
    };
    DriveQueryCalls().WNetGetUniversalName = RealDriveQueryCalls().WNetGetUniversalName;
    for (const Case& c : cases) {
        gFake.Mpr = c.Mpr;
        gFake.Loads.clear();
        FakeDrive net;
        net.Type = DRIVE_REMOTE;
        EXPECT_EQ(Row(L'N', net).SubItems[0], c.Name) << static_cast<int>(c.Mpr);
        EXPECT_EQ(gFake.Loads, c.Expected) << static_cast<int>(c.Mpr);
    }
    // Each name asked for loads mpr anew and lets it go again.
    EXPECT_EQ(GetModuleHandleW(test::BuildPath(L"tests\\plant\\plant_provider.dll").c_str()),
              nullptr);
}

TEST_F(DriveRows, SizesFollowTheVolumeQueries) {
    struct Case {
        const char* What;
        bool VolumeOk;
        bool SpaceOk;
        unsigned long long Total, ToCaller, Free;
        std::vector<std::wstring> SubItems;
        const wchar_t* Calls;
    };
    const Case cases[] = {
        {"quota",
         true,
         true,
         100 * GiB,
         5 * MiB,
         40 * GiB,
         {L"DATA", L"Local Disk", L"100.0 GB", L"5.0 MB"},
         L"V:D S:D "},
        {"zero total", true, true, 0, 0, 0, {L"DATA", L"Local Disk"}, L"V:D S:D "},
        {"space fails", true, false, 0, 0, 0, {L"DATA", L"Local Disk"}, L"V:D S:D "},
        {"volume fails", false, true, GiB, GiB, GiB, {L"", L"Local Disk"}, L"V:D "},
        {"full", true, true, 512, 0, 0, {L"DATA", L"Local Disk", L"512 b", L"0 b"}, L"V:D S:D "},
    };
    for (const Case& c : cases) {
        FakeDrive drive;
        drive.Label = L"DATA";
        drive.VolumeOk = c.VolumeOk;
        drive.SpaceOk = c.SpaceOk;
        drive.Total = c.Total;
        drive.ToCaller = c.ToCaller;
        drive.Free = c.Free;
        const TDriveRow row = Row(L'D', drive);
        EXPECT_EQ(row.SubItems, c.SubItems) << c.What;
        EXPECT_EQ(gFake.Calls, c.Calls) << c.What;
    }
}

// Windows cannot be made to report an empty card reader under Wine: the fake does, with the
// error it gives, and the system's own "no disk" box must not come up meanwhile.
TEST_F(DriveRows, DriveWithoutItsMediumAsksTheUserNothing) {
    DWORD saved = 0;
    ASSERT_TRUE(SetThreadErrorMode(SEM_NOOPENFILEERRORBOX, &saved));
    FakeDrive reader;
    reader.Type = DRIVE_REMOVABLE;
    reader.Target = L"\\Device\\Harddisk2\\DR2";
    reader.VolumeOk = false;
    EXPECT_EQ(Row(L'F', reader).SubItems, (std::vector<std::wstring>{L"", L"Removable Drive"}));
    EXPECT_EQ(gFake.Calls, L"V:F ");
    EXPECT_TRUE(gFake.ErrorModeAtVolumeQuery & SEM_FAILCRITICALERRORS);
    EXPECT_EQ(GetThreadErrorMode(), static_cast<DWORD>(SEM_NOOPENFILEERRORBOX));
    SetThreadErrorMode(saved, nullptr);
}

TEST_F(DriveRows, ImageIsTheShellsIndex) {
    FakeDrive drive;
    drive.Icon = 7;
    EXPECT_EQ(Row(L'E', drive).Image, 7);
    EXPECT_EQ(gFake.IconFlags, 0x4600u);
    drive.IconOk = false;
    EXPECT_EQ(Row(L'E', drive).Image, I_IMAGENONE);
}

TEST_F(DriveRows, RootsComeInLetterOrder) {
    gFake.Mask = (1u << 0) | (1u << 2) | (1u << 17) | (1u << 25);
    EXPECT_EQ(PresentDriveRoots(), (std::vector<std::wstring>{L"A:\\", L"C:\\", L"R:\\", L"Z:\\"}));
    gFake.Mask = 0;
    EXPECT_TRUE(PresentDriveRoots().empty());
}

} // namespace
} // namespace rover
