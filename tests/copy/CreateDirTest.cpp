// Folder chains: roots, missing drives, top-down creation, files in the way and the error codes
// left.
#include <gtest/gtest.h>

#include "CopyTestDrives.h"
#include "TestHarness.h"
#include "copy/CreateDir.h"
#include "support/Utils.h"

namespace rover {
namespace {

using test::TTempDir;

// The code left after a false result, with the rule that it must never be 0.
DWORD FailureCode(const std::wstring& path) {
    SetLastError(0);
    EXPECT_FALSE(CreateDirChain(path)) << "for a path that must fail";
    const DWORD code = GetLastError();
    EXPECT_NE(code, 0u) << "a false result must not read \""
                        << "success"
                        << "\"";
    return code;
}

TEST(CreateDirChain, AnExistingRootIsTrueAndCreatesNothing) {
    test::ClearDrive(test::kPlainDrive);
    const std::wstring root = std::wstring(test::kPlainDrive) + L"\\";
    EXPECT_TRUE(CreateDirChain(root));
    EXPECT_TRUE(test::ReadTree(test::kPlainDrive).empty());
    EXPECT_FALSE(test::DirExists(root + L"Rover"));
}

TEST(CreateDirChain, AMissingDriveFailsWithTheDriveError) {
    const std::wstring root = std::wstring(test::kMissingDrive) + L"\\";
    EXPECT_EQ(FailureCode(root), static_cast<DWORD>(ERROR_INVALID_DRIVE));
    // The failure of the root reaches the caller unchanged through every level.
    EXPECT_EQ(FailureCode(root + L"Rover\\speller"), static_cast<DWORD>(ERROR_INVALID_DRIVE));
    EXPECT_NE(Win32ErrorText(ERROR_INVALID_DRIVE), Win32ErrorText(0));
}

TEST(CreateDirChain, AMissingChainIsCreatedAndATrailingBackslashChangesNothing) {
    TTempDir tmp(L"chain");
    EXPECT_TRUE(CreateDirChain(tmp / L"a\\b\\c"));
    EXPECT_TRUE(test::DirExists(tmp / L"a\\b\\c"));
    EXPECT_TRUE(CreateDirChain(tmp / L"d\\e\\"));
    EXPECT_TRUE(test::DirExists(tmp / L"d\\e"));
    EXPECT_TRUE(CreateDirChain(tmp / L"a\\b\\c\\")); // already there
    // Relative paths are taken from the current folder, with ".." resolved.
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW((tmp / L"a").c_str()));
    EXPECT_TRUE(CreateDirChain(L"..\\rel\\x"));
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(test::DirExists(tmp / L"rel\\x"));
}

TEST(CreateDirChain, AFileInTheWayFailsWithATrueCodeAndCreatesNothing) {
    TTempDir tmp(L"chain");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"file", "x"));
    EXPECT_EQ(FailureCode(tmp / L"file"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(FailureCode(tmp / L"file\\"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    FailureCode(tmp / L"file\\sub\\deeper");
    EXPECT_FALSE(test::DirExists(tmp / L"file\\sub"));
    std::string bytes;
    EXPECT_TRUE(test::ReadFileBytes(tmp / L"file", bytes));
    EXPECT_EQ(bytes, "x");
}

TEST(CreateDirChain, AReadOnlyDriveLeavesTheCreationsOwnCode) {
    if (!test::DriveMounted(test::kReadOnlyDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kReadOnlyDrive);
    const std::wstring path = std::wstring(test::kReadOnlyDrive) + L"\\Rover";
    ASSERT_FALSE(CreateDirectoryW(path.c_str(), nullptr));
    const DWORD expected = GetLastError();
    EXPECT_EQ(FailureCode(path), expected);
    // A failed parent hands its code on instead of 0.
    EXPECT_EQ(FailureCode(path + L"\\speller"), expected);
}

TEST(GetDirState, TellsFoldersMissingPathsAndEverythingElse) {
    TTempDir tmp(L"state");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"file", "x"));
    const struct {
        std::wstring Path;
        int Expected;
    } cases[] = {
        {L"", -1},
        {std::wstring(test::kPlainDrive) + L"\\", 1},
        {std::wstring(test::kMissingDrive) + L"\\", -1},
        {tmp.Path(), 1},
        {tmp.Path() + L"\\", 1},
        {tmp / L"missing", 0},
        {tmp / L"file", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetDirState(c.Path), c.Expected) << std::string(c.Path.begin(), c.Path.end());
}

TEST(EndsWith, ComparesTheLastCharactersExactly) {
    EXPECT_TRUE(EndsWith(L"X:\\", L":\\"));
    EXPECT_TRUE(EndsWith(L"abc", L""));
    EXPECT_TRUE(EndsWith(L"", L""));
    EXPECT_TRUE(EndsWith(L"abc", L"abc"));
    EXPECT_FALSE(EndsWith(L"bc", L"abc"));
    EXPECT_FALSE(EndsWith(L"ABC", L"bc"));
}

} // namespace
} // namespace rover
