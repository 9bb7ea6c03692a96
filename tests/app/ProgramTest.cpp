// The real rover_setup.exe as a user meets it: the guard prompt, Abort, a quiet exit, its version.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "TestHarness.h"
#include "support/Utils.h"

namespace rover {
namespace {

using namespace rover::test;

TEST(Program, AbortAtTheGuardEndsAtOnceWithCodeZero) {
    TStandInClient client;
    ASSERT_TRUE(client.Start());
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + SetupExePath() + L"\""));
    HWND box = WaitForBoxOfProcess(setup.Id(), 20000);
    ASSERT_NE(box, nullptr) << "no guard prompt appeared";
    const TSeenBox seen = ReadBox(box);
    EXPECT_EQ(seen.Caption, L"Kestrel Rover Installation");
    EXPECT_EQ(seen.Text, L"Kestrel Rover is currently running. Please exit Rover to continue "
                         L"installation.\r\n\r\nAbort the installation?");
    PressBoxButton(box, IDABORT);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

TEST(Program, WithoutAClientNoPromptAppears) {
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + SetupExePath() + L"\""));
    // The first window is the drive dialog, never the prompt; leaving it ends the program.
    HWND window = WaitForWindowOfProcess(setup.Id(), 20000);
    ASSERT_NE(window, nullptr);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    EXPECT_EQ(WaitForBoxOfProcess(setup.Id(), 0), nullptr) << "a box appeared";
    EXPECT_STREQ(caption, L"Kestrel Rover Installation - Select Drive To Install");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

// The program's own version resource and manifest, read from the built file as Explorer would.
TEST(Program, CarriesItsVersionInTheResourceAndTheManifest) {
    const HMODULE exe = LoadLibraryExW(SetupExePath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << GetLastError();
    const HRSRC version = FindResourceW(exe, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(version, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(exe, version)));
    const DWORD size = SizeofResource(exe, version);
    ASSERT_NE(data, nullptr);

    struct Value {
        const wchar_t* Key;
        std::wstring Expected;
    };
    const Value values[] = {
        {L"ProductName", L"Kestrel Rover"},
        {L"FileDescription", L"Kestrel Rover Setup"},
        {L"OriginalFilename", L"rover_setup.exe"},
    };
    for (const Value& v : values)
        EXPECT_EQ(FindVersionValue(data, v.Key, size), v.Expected) << v.Key;

    // One version everywhere: the fixed numbers, both texts and the manifest's identity.
    const std::string bytes(data, size);
    const size_t fixedAt = bytes.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(fixedAt, std::string::npos);
    VS_FIXEDFILEINFO fixed;
    ASSERT_LE(fixedAt + sizeof(fixed), bytes.size());
    memcpy(&fixed, data + fixedAt, sizeof(fixed));
    EXPECT_EQ(fixed.dwFileVersionMS, fixed.dwProductVersionMS);
    EXPECT_EQ(fixed.dwFileVersionLS, fixed.dwProductVersionLS);
    EXPECT_NE(fixed.dwFileVersionMS, 0u);
    wchar_t dotted[64] = {};
    swprintf(dotted, 64, L"%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS),
             LOWORD(fixed.dwFileVersionMS), HIWORD(fixed.dwFileVersionLS),
             LOWORD(fixed.dwFileVersionLS));
    EXPECT_EQ(FindVersionValue(data, L"FileVersion", size), dotted);
    EXPECT_EQ(FindVersionValue(data, L"ProductVersion", size), dotted);

    const HRSRC manifest = FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(exe, manifest))),
                           SizeofResource(exe, manifest));
    const std::string identity = "name=\"Kestrel.Rover.Setup\" version=\"";
    const size_t at = text.find(identity);
    ASSERT_NE(at, std::string::npos);
    const size_t start = at + identity.size();
    const std::string manifestVersion = text.substr(start, text.find('"', start) - start);
    EXPECT_EQ(std::wstring(manifestVersion.begin(), manifestVersion.end()), dotted);
    FreeLibrary(exe);
}

} // namespace
} // namespace rover

namespace rover {
namespace {

using namespace rover::test;

const wchar_t kDriveDialogCaption[] = L"Kestrel Rover Installation - Select Drive To Install";

HWND WaitForDriveDialog(DWORD processId) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        HWND dialog = FindWindowW(L"#32770", kDriveDialogCaption);
        DWORD pid = 0;
        GetWindowThreadProcessId(dialog, &pid);
        if (dialog != nullptr && pid == processId && IsWindowVisible(dialog))
            return dialog;
        PumpMessages(20);
    }
    return nullptr;
}

// A user picks a drive the copy cannot use, reads the error, and is back at
// the drive choice; leaving it there ends the program normally.
TEST(Program, AFailedCopyLeadsBackToTheDriveChoice) {
    TTempDir dist(L"dist");
    ASSERT_TRUE(CopyFileW(SetupExePath().c_str(), (dist / L"rover_setup.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(dist / L"readme.txt", "Kestrel Rover\r\n"));
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + (dist / L"rover_setup.exe") + L"\"", dist.Path()));

    HWND dialog = WaitForDriveDialog(setup.Id());
    ASSERT_NE(dialog, nullptr);
    HWND list = FindWindowExW(dialog, nullptr, L"SysListView32", nullptr);
    HWND install = FindWindowExW(dialog, nullptr, L"Button", L"Install");
    ASSERT_NE(list, nullptr);
    ASSERT_NE(install, nullptr);
    // T: is a drive letter whose folder is missing: nothing can be made there.
    PostMessageW(list, WM_KEYDOWN, 'T', 1);
    PostMessageW(list, WM_KEYUP, 'T', 0xC0000001);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(install) != FALSE; }, 5000));
    PostMessageW(install, BM_CLICK, 0, 0);

    HWND box = WaitForBoxOfProcess(setup.Id(), 20000);
    ASSERT_NE(box, nullptr) << "no error box";
    const TSeenBox seen = ReadBox(box);
    EXPECT_EQ(seen.Caption, L"Installing Rover ");
    EXPECT_EQ(seen.Text.rfind(L"Cannot install Kestrel Rover to \"T:\\Rover\"\r\n\r\n", 0), 0u)
        << seen.Text;
    PressBoxButton(box, IDOK);

    HWND again = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            again = WaitForDriveDialog(setup.Id());
            return again != nullptr && IsWindowVisible(again) && again != dialog;
        },
        20000))
        << "the drive choice did not come back";
    PostMessageW(again, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

} // namespace
} // namespace rover
