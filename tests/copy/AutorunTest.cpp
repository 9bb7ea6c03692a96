// The autorun file: the drive part, the exact bytes, and what a failed write leaves.
#include <gtest/gtest.h>

#include "CopyTestDrives.h"
#include "TestHarness.h"
#include "copy/Autorun.h"

namespace rover {
namespace {

TEST(Autorun, DrivePartOfLettersAndNetworkPaths) {
    const struct {
        std::wstring Path, Expected;
    } cases[] = {
        {L"X:\\Rover", L"X:"},
        {L"X:", L"X:"},
        {L"\\\\server\\share\\Rover", L"\\\\server\\share"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        {L"\\Rover", L""},
        {L"Rover", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AutorunDrivePart(c.Path), c.Expected);
}

TEST(Autorun, TheFourLinesEachEndInCrLf) {
    EXPECT_EQ(AutorunBytes(L"\\Rover"), "[autorun]\r\nopen=\\Rover\\rover.exe\r\n"
                                        "icon=\\Rover\\rover.exe,0\r\nlabel=Kestrel Rover\r\n");
}

TEST(Autorun, AFileThatCannotBeWrittenToTheEndIsRemoved) {
    if (!test::DriveMounted(test::kTinyDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kTinyDrive);
    test::ClearDrive(test::kTinyDrive);
    const std::wstring filler = std::wstring(test::kTinyDrive) + L"\\filler";
    ASSERT_TRUE(test::WriteFileBytes(filler, std::string(16 * 1024, 'f')));
    // Fill the drive to its last byte.
    HANDLE file =
        CreateFileW(filler.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string block(4096, 'f');
    DWORD written = 0;
    while (WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written != 0) {
    }
    while (WriteFile(file, "f", 1, &written, nullptr) && written != 0) {
    }
    CloseHandle(file);

    const std::wstring path = std::wstring(test::kTinyDrive) + L"\\autorun.inf";
    const TAutorunOutcome outcome = WriteAutorunFile(path, AutorunBytes(L"\\Rover"));
    EXPECT_EQ(outcome.Status, TAutorunStatus::WriteFailed);
    EXPECT_EQ(outcome.Error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(test::FileExists(path)) << "a partial autorun.inf would block every later one";
    test::ClearDrive(test::kTinyDrive);
}

TEST(Autorun, OnlyFilesCountAsExisting) {
    test::TTempDir tmp(L"autorun");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"file.inf", ""));
    ASSERT_TRUE(test::MakeDirs(tmp / L"folder.inf"));
    EXPECT_TRUE(AutorunFileExists(tmp / L"file.inf"));
    EXPECT_FALSE(AutorunFileExists(tmp / L"folder.inf"));
    EXPECT_FALSE(AutorunFileExists(tmp / L"missing.inf"));
    // A file held open without sharing by another program still counts.
    HANDLE locked = CreateFileW((tmp / L"file.inf").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(AutorunFileExists(tmp / L"file.inf"));
    CloseHandle(locked);
}

} // namespace
} // namespace rover
