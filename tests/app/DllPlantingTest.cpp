// A DLL that someone left beside the setup, as a download folder lets anyone do, never runs.
#include <gtest/gtest.h>

#include "DialogDriving.h"
#include "TestHarness.h"

namespace rover {
namespace {

using namespace rover::test;

// Sets an environment variable for the processes this test starts.
class TScopedVariable {
  public:
    TScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[1024];
        const DWORD length = GetEnvironmentVariableW(name, old, 1024);
        had_ = length > 0 && length < 1024;
        if (had_)
            old_.assign(old, length);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~TScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

  private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

// Wine prefers its own DLLs. This per-program override makes it look for
// mpr.dll as Windows does, beside the program first. (WINEDLLOVERRIDES would
// too, but Wine reads it only where it starts a process from Linux.)
class TNativeMprFirst {
  public:
    explicit TNativeMprFirst(const std::wstring& program)
        : key_(L"Software\\Wine\\AppDefaults\\" + program) {
        HKEY overrides = nullptr;
        ok_ = RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &overrides, nullptr) == ERROR_SUCCESS;
        if (!ok_)
            return;
        const wchar_t order[] = L"native,builtin";
        ok_ = RegSetValueExW(overrides, L"mpr", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                             sizeof order) == ERROR_SUCCESS;
        RegCloseKey(overrides);
    }
    ~TNativeMprFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
    TNativeMprFirst(const TNativeMprFirst&) = delete;
    TNativeMprFirst& operator=(const TNativeMprFirst&) = delete;
    bool Ok() const { return ok_; }

  private:
    std::wstring key_;
    bool ok_ = false;
};

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// Wine prefers its own DLLs; the override makes it look for mpr.dll as
// Windows does, beside the program first.
TEST(DllPlanting, AnMprDllBesideTheSetupNeverLoads) {
    TTempDir dist(L"plant");
    TTempDir stick(L"stick");
    TTempDir logs(L"log");
    ASSERT_TRUE(CopyFileW(SetupExePath().c_str(), (dist / L"rover_setup.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW(BuildPath(L"tests\\plant\\mpr.dll").c_str(), (dist / L"mpr.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(BuildPath(L"tests\\plant\\mpr_importer.exe").c_str(),
                          (dist / L"mpr_importer.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(dist / L"readme.txt", "Kestrel Rover\r\n"));
    TNativeMprFirst importerOverride(L"mpr_importer.exe");
    TNativeMprFirst setupOverride(L"rover_setup.exe");
    ASSERT_TRUE(importerOverride.Ok() && setupOverride.Ok());
    TScopedVariable openLog(L"ROVER_OPEN_LOG", logs / L"open.log");
    const std::wstring marker = dist / L"mpr.dll.loaded";

    // The fixture bites: a program that imports mpr by name loads the plant.
    TProcess importer;
    ASSERT_TRUE(importer.Start(Quoted(dist / L"mpr_importer.exe"), dist.Path()));
    ASSERT_NE(importer.Wait(20000), STILL_ACTIVE);
    ASSERT_TRUE(FileExists(marker)) << "the plant was not loaded even by a plain import";
    ASSERT_TRUE(DeleteFileW(marker.c_str()));

    TPluggedDrive drive(L'W', stick.Path());
    ASSERT_TRUE(drive.Plugged());
    TProcess setup;
    ASSERT_TRUE(setup.Start(Quoted(dist / L"rover_setup.exe"), dist.Path()));
    HWND dialog = WaitForWindowOfProcess(setup.Id(), 20000);
    ASSERT_NE(dialog, nullptr) << "no drive dialog";
    wchar_t caption[256] = {};
    GetWindowTextW(dialog, caption, 256);
    EXPECT_STREQ(caption, L"Kestrel Rover Installation - Select Drive To Install");
    EXPECT_FALSE(FileExists(marker)) << "the plant ran before the first window";

    HWND list = FindWindowExW(dialog, nullptr, L"SysListView32", nullptr);
    HWND install = FindWindowExW(dialog, nullptr, L"Button", L"Install");
    ASSERT_NE(list, nullptr);
    ASSERT_NE(install, nullptr);
    PostKey(list, 'W');
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(install) != FALSE; }, 5000));
    PostMessageW(install, BM_CLICK, 0, 0);
    EXPECT_EQ(setup.Wait(60000), 0u);

    EXPECT_FALSE(FileExists(marker));
    EXPECT_FALSE(FileExists(L"W:\\Rover\\mpr.dll.loaded"));
    std::string readme;
    EXPECT_TRUE(ReadFileBytes(L"W:\\Rover\\readme.txt", readme));
    EXPECT_EQ(readme, "Kestrel Rover\r\n");
    EXPECT_TRUE(FileExists(L"W:\\autorun.inf"));
    // The shell opens the installed folder in a process of its own, which may still be
    // writing its line when the file first shows.
    std::string opened;
    EXPECT_TRUE(PumpUntil(
        [&] {
            opened.clear();
            return ReadFileBytes(logs / L"open.log", opened) &&
                   opened.find('\n') != std::string::npos;
        },
        10000));
    EXPECT_EQ(opened.rfind("W:\\Rover|", 0), 0u) << opened;
}

} // namespace
} // namespace rover
