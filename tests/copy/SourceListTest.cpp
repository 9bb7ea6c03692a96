// The source file list: what is skipped, what is flagged, sizes, drive roots and folder loops.
#include <gtest/gtest.h>

#include <map>

#include "CopyTestDrives.h"
#include "TestHarness.h"
#include "copy/SourceList.h"
#include "support/ClassesUtils.h"

namespace rover {
namespace {

using test::TTempDir;
using test::TTree;

struct TScan {
    TCopyFileList* List = new TCopyFileList;
    std::int64_t Total = 0;
    explicit TScan(const std::wstring& folder) { ScanSourceFolder(folder, L"\\", *List, Total); }
    ~TScan() { FreeListAndNil(List); }
    // FileName -> FailIfExists
    std::map<std::wstring, bool> Entries() const {
        std::map<std::wstring, bool> entries;
        for (const TCopyFile* f : *List)
            entries[f->FileName] = f->FailIfExists;
        return entries;
    }
};

TEST(SourceList, TheSetupIsSkippedOnlyAtTheTop) {
    for (const wchar_t* setupName : {L"ROVER_SETUP.EXE", L"Rover_Setup.exe", L"rover_setup.exe"}) {
        TTempDir src(L"scan");
        ASSERT_TRUE(test::WriteTree(src.Path(), {{setupName, "MZ setup"},
                                                 {L"sub\\rover_setup.exe", "MZ nested"},
                                                 {L"setup_copy.exe", "MZ setup"},
                                                 {L"rover.exe", "MZ client"}}));
        TScan scan(src.Path());
        const std::map<std::wstring, bool> expected = {{L"\\setup_copy.exe", false},
                                                       {L"\\rover.exe", false},
                                                       {L"\\sub\\rover_setup.exe", false}};
        EXPECT_EQ(scan.Entries(), expected)
            << "setup named " << std::string(setupName, setupName + wcslen(setupName));
        EXPECT_EQ(scan.Total, 8 + 9 + 9);
    }
}

TEST(SourceList, OnlyTheDictionaryInSpellerIsKept) {
    TTempDir src(L"scan");
    ASSERT_TRUE(test::WriteTree(src.Path(), {{L"Speller\\UserDic.TLX", "mine"},
                                             {L"userdic.tlx", "x"},
                                             {L"other\\userdic.tlx", "x"},
                                             {L"Speller\\deeper\\userdic.tlx", "x"},
                                             {L"Speller\\main.tlx", "x"}}));
    TScan scan(src.Path());
    const std::map<std::wstring, bool> expected = {{L"\\Speller\\UserDic.TLX", true},
                                                   {L"\\userdic.tlx", false},
                                                   {L"\\other\\userdic.tlx", false},
                                                   {L"\\Speller\\deeper\\userdic.tlx", false},
                                                   {L"\\Speller\\main.tlx", false}};
    EXPECT_EQ(scan.Entries(), expected);
}

TEST(SourceList, HiddenAndSystemFilesAreListedAndEmptyFoldersAreNot) {
    TTempDir src(L"scan");
    ASSERT_TRUE(test::WriteTree(src.Path(), {{L"hidden.dat", "12"}, {L"sys\\system.dat", "345"}}));
    SetFileAttributesW((src / L"hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((src / L"sys\\system.dat").c_str(),
                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(test::MakeDirs(src / L"empty\\deeper"));
    TScan scan(src.Path());
    const std::map<std::wstring, bool> expected = {{L"\\hidden.dat", false},
                                                   {L"\\sys\\system.dat", false}};
    EXPECT_EQ(scan.Entries(), expected);
    EXPECT_EQ(scan.Total, 5);
    SetFileAttributesW((src / L"sys\\system.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(SourceList, ASourceWithOnlyTheSetupGivesNothing) {
    TTempDir src(L"scan");
    ASSERT_TRUE(test::WriteTree(src.Path(), {{L"rover_setup.exe", "MZ"}}));
    TScan scan(src.Path());
    EXPECT_TRUE(scan.List->empty());
    EXPECT_EQ(scan.Total, 0);
}

TEST(SourceList, ADriveRootSourceKeepsItsBackslashAndPlainJoinsWork) {
    const std::wstring root = std::wstring(test::kRootSourceDrive) + L"\\";
    test::ClearDrive(test::kRootSourceDrive);
    ASSERT_TRUE(
        test::WriteTree(test::kRootSourceDrive,
                        {{L"rover_setup.exe", "MZ"}, {L"a.txt", "A"}, {L"sub\\b.txt", "BB"}}));
    TScan scan(root);
    const std::map<std::wstring, bool> expected = {{L"\\a.txt", false}, {L"\\sub\\b.txt", false}};
    EXPECT_EQ(scan.Entries(), expected);
    // The copy joins the root's backslash and the entry's own: both must still name the file.
    std::string bytes;
    EXPECT_TRUE(test::ReadFileBytes(root + L"\\sub\\b.txt", bytes));
    EXPECT_EQ(bytes, "BB");
    test::ClearDrive(test::kRootSourceDrive);
}

TEST(SourceList, AFileOver4GiBHasItsTrueSize) {
    TTempDir src(L"scan");
    const std::wstring path = src / L"huge.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = (5LL << 30) + 7; // sparse on the host: nothing is written
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(test::WriteFileBytes(src / L"small.txt", "abc"));
    TScan scan(src.Path());
    ASSERT_EQ(scan.List->size(), 2u);
    for (const TCopyFile* f : *scan.List) {
        if (f->FileName == L"\\huge.bin") {
            EXPECT_EQ(f->FileSize, size.QuadPart);
        }
    }
    EXPECT_EQ(scan.Total, size.QuadPart + 3);
}

TEST(SourceList, LinkedFoldersAreEnteredOnlyInsideTheTreeAndNeverInALoop) {
    // Made by tests/copy/mounts.sh: loop\a.txt, loop\sub\b.txt, loop\sub\back -> loop,
    // loop\alias -> loop\sub, loop\out -> a folder beside loop holding o.txt.
    const std::wstring loop = test::BuildPath(L"copy-fixtures\\loop");
    if (!test::DirExists(loop + L"\\sub\\back") || !test::DirExists(loop + L"\\out"))
        GTEST_SKIP() << "the linked tree of tests/copy/mounts.sh is missing";
    TScan scan(loop);
    const std::map<std::wstring, bool> expected = {
        {L"\\a.txt", false}, {L"\\sub\\b.txt", false}, {L"\\alias\\b.txt", false}};
    EXPECT_EQ(scan.Entries(), expected);
}

TEST(SourceList, ProgressStepsFitTheBarsRange) {
    const std::int64_t kMaxRange = 0x7FFFFFFF;
    for (const std::int64_t total :
         {std::int64_t(0), std::int64_t(1023), std::int64_t(5) << 30, kMaxRange * 1024,
          kMaxRange * 1024 + 1024, std::int64_t(1) << 50, INT64_MAX}) {
        const std::int64_t unit = ProgressUnit(total);
        EXPECT_LE(total / unit, kMaxRange) << total;
        // Never coarser than needed: 1024-byte steps wherever they fit.
        if (total / 1024 <= kMaxRange) {
            EXPECT_EQ(unit, 1024) << total;
        } else {
            EXPECT_GT(total / (unit / 2), kMaxRange) << total;
        }
    }
}

TEST(SourceList, DefaultSourceIsTheProgramsFolder) {
    wchar_t path[MAX_PATH];
    const DWORD got = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(got, 0u);
    std::wstring expected(path, got);
    expected.resize(expected.rfind(L'\\'));
    EXPECT_EQ(DefaultSourceDir(), expected);
}

} // namespace
} // namespace rover
