// The source file list: what is skipped, what is flagged, sizes, drive roots and folder loops.
#include <gtest/gtest.h>

#include <map>
#include <set>

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
    TScanFailure Failure;
    bool Ok = false;
    explicit TScan(const std::wstring& folder, const std::wstring& skip = std::wstring()) {
        Ok = ScanSourceFolder(folder, L"\\", *List, Total, &Failure, skip);
    }
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

// What Windows answers and Wine does not, by folder name: a folder whose name holds "closed"
// cannot be listed (access denied), one whose name holds "broken" breaks off after its first
// entry (the network name is gone), and an entry whose name starts with "hs-" carries the
// hidden and system attributes.
std::set<HANDLE> BrokenFinds;

std::wstring FolderNameOf(const std::wstring& pattern) {
    const std::wstring folder = pattern.substr(0, pattern.rfind(L'\\'));
    return folder.substr(folder.rfind(L'\\') + 1);
}

void Mark(WIN32_FIND_DATAW& entry) {
    if (wcsncmp(entry.cFileName, L"hs-", 3) == 0)
        entry.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
}

HANDLE WINAPI FindFirstAsWindows(LPCWSTR pattern, LPWIN32_FIND_DATAW entry) {
    const std::wstring folder = FolderNameOf(pattern);
    if (folder.find(L"closed") != std::wstring::npos) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE find = FindFirstFileW(pattern, entry);
    if (find != INVALID_HANDLE_VALUE) {
        Mark(*entry);
        if (folder.find(L"broken") != std::wstring::npos)
            BrokenFinds.insert(find);
    }
    return find;
}

BOOL WINAPI FindNextAsWindows(HANDLE find, LPWIN32_FIND_DATAW entry) {
    if (BrokenFinds.erase(find)) { // the handle is closed next, and its value used again
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    const BOOL found = FindNextFileW(find, entry);
    if (found)
        Mark(*entry);
    return found;
}

// Identities as some network redirectors give them, and a final path that cannot be read.
DWORD FakeVolume = 0, FakeIndex = 0;
BOOL WINAPI IdentityThatSaysNothing(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!GetFileInformationByHandle(file, info))
        return FALSE;
    info->dwVolumeSerialNumber = FakeVolume;
    info->nFileIndexHigh = 0;
    info->nFileIndexLow = FakeIndex;
    return TRUE;
}
DWORD WINAPI NoFinalPath(HANDLE, LPWSTR, DWORD, DWORD) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

struct TScanAsWindows {
    TScanAsWindows() {
        SourceScanCalls().FindFirstFile = &FindFirstAsWindows;
        SourceScanCalls().FindNextFile = &FindNextAsWindows;
    }
    ~TScanAsWindows() {
        SourceScanCalls() = RealSourceScanCalls();
        BrokenFinds.clear();
    }
};

TEST(SourceList, AFolderThatCannotBeListedEndsTheScanUnlessItIsTheSystemsOwn) {
    const struct {
        const char* Name;
        TTree Tree;
        std::wstring Root; // below the source folder, or empty for the source itself
        bool Ok;
        std::wstring Folder; // relative to the source; empty for the source itself
        DWORD Error;
    } cases[] = {
        {"closed", {{L"a.txt", "a"}, {L"closed\\x.txt", "x"}}, L"", false, L"closed", 5},
        {"breaks off",
         {{L"a.txt", "a"}, {L"broken\\x.txt", "x"}},
         L"",
         false,
         L"broken",
         ERROR_NETNAME_DELETED},
        {"closed deeper", {{L"d\\e\\closed\\x.txt", "x"}}, L"", false, L"d\\e\\closed", 5},
        {"hidden+system closed", {{L"a.txt", "a"}, {L"hs-closed\\x.txt", "x"}}, L"", true, L"", 0},
        {"hidden+system open", {{L"hs-open\\x.txt", "x"}}, L"", true, L"", 0},
        {"closed source", {{L"hs-closed\\x.txt", "x"}}, L"hs-closed", false, L"hs-closed", 5},
    };
    TScanAsWindows windows;
    for (const auto& c : cases) {
        TTempDir src(L"scan");
        ASSERT_TRUE(test::WriteTree(src.Path(), c.Tree));
        TScan scan(c.Root.empty() ? src.Path() : src / c.Root);
        EXPECT_EQ(scan.Ok, c.Ok) << c.Name;
        if (!c.Ok) {
            EXPECT_EQ(scan.Failure.Folder, src / c.Folder) << c.Name;
            EXPECT_EQ(scan.Failure.Error, c.Error) << c.Name;
            continue;
        }
        std::set<std::wstring> expected;
        for (const auto& file : c.Tree) {
            if (file.first.find(L"closed") == std::wstring::npos)
                expected.insert(L"\\" + file.first);
        }
        std::set<std::wstring> listed;
        for (const TCopyFile* f : *scan.List)
            listed.insert(f->FileName);
        EXPECT_EQ(listed, expected) << c.Name;
    }
}

TEST(SourceList, AFolderThatCannotBeListedAtADriveRootIsNamedPlainly) {
    TScanAsWindows windows;
    test::ClearDrive(test::kRootSourceDrive);
    ASSERT_TRUE(test::WriteTree(test::kRootSourceDrive, {{L"closed\\x.txt", "x"}}));
    TScan scan(std::wstring(test::kRootSourceDrive) + L"\\");
    EXPECT_FALSE(scan.Ok);
    EXPECT_EQ(scan.Failure.Folder, std::wstring(test::kRootSourceDrive) + L"\\closed");
    test::ClearDrive(test::kRootSourceDrive);
}

// Made by tests/copy/unprivileged.sh, which runs this as a user that the folder is closed to.
TEST(SourceList, AFolderClosedForRealEndsTheScanWithItsPlainPath) {
    const std::wstring source = test::ClosedFolderFixture();
    if (source.empty())
        GTEST_SKIP() << "runs in the unprivileged run only (tests/copy/unprivileged.sh)";
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((source + L"\\locked\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        GTEST_SKIP() << "the folder can be listed: Wine runs with root's rights";
    }
    TScan scan(source);
    EXPECT_FALSE(scan.Ok);
    EXPECT_EQ(scan.Failure.Folder, source + L"\\locked");
    EXPECT_EQ(scan.Failure.Error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Left out as the destination, it no longer stands in the way.
    TScan without(source, source + L"\\locked");
    EXPECT_TRUE(without.Ok);
    EXPECT_EQ(without.Entries(), (std::map<std::wstring, bool>{{L"\\a.txt", false}}));
}

TEST(SourceList, FoldersAreNeverSkippedForIdentitiesOrFinalPathsThatSayNothing) {
    const std::wstring loop = test::BuildPath(L"copy-fixtures\\loop");
    const bool haveLoop = test::DirExists(loop + L"\\sub\\back");
    using TEntries = std::set<std::wstring>;
    const TEntries all = {L"\\a.txt", L"\\sub\\b.txt", L"\\alias\\b.txt"};
    const struct {
        const char* Name;
        bool Identity; // the system's identities, or the fake ones below
        DWORD Volume, Index;
        bool FinalPath;
        TEntries Loop; // what the linked tree gives
    } cases[] = {
        {"index 0", false, 0x1234, 0, true, all},
        {"volume 0", false, 0, 77, true, all},
        {"both 0", false, 0, 0, true, all},
        // Links are then judged by their place in the tree: the one leading out is followed.
        {"no final path",
         true,
         0,
         0,
         false,
         {L"\\a.txt", L"\\sub\\b.txt", L"\\alias\\b.txt", L"\\out\\o.txt"}},
        // Nothing tells where a link leads or whether it loops: links are not followed.
        {"neither", false, 0, 0, false, {L"\\a.txt", L"\\sub\\b.txt"}},
    };
    const TTree plain = {{L"a\\1.txt", "1"}, {L"b\\2.txt", "2"}, {L"b\\c\\3.txt", "3"}};
    TTempDir src(L"scan");
    ASSERT_TRUE(test::WriteTree(src.Path(), plain));
    for (const auto& c : cases) {
        SourceScanCalls() = RealSourceScanCalls();
        if (!c.Identity) {
            SourceScanCalls().GetFileInformationByHandle = &IdentityThatSaysNothing;
            FakeVolume = c.Volume;
            FakeIndex = c.Index;
        }
        if (!c.FinalPath)
            SourceScanCalls().GetFinalPathNameByHandle = &NoFinalPath;
        TScan scan(src.Path());
        EXPECT_TRUE(scan.Ok) << c.Name;
        EXPECT_EQ(scan.List->size(), plain.size()) << c.Name << ": a real folder was skipped";
        if (haveLoop) {
            TScan looped(loop);
            TEntries listed;
            for (const TCopyFile* f : *looped.List)
                listed.insert(f->FileName);
            EXPECT_EQ(listed, c.Loop) << c.Name;
        }
    }
    SourceScanCalls() = RealSourceScanCalls();
    if (!haveLoop)
        GTEST_SKIP() << "the linked tree of tests/copy/mounts.sh is missing";
}

TEST(SourceList, TheDestinationInsideTheSourceIsLeftOut) {
    const std::wstring drive = test::kRootSourceDrive;
    test::ClearDrive(drive);
    ASSERT_TRUE(test::WriteTree(drive, {{L"rover_setup.exe", "MZ"},
                                        {L"a.txt", "a"},
                                        {L"Rover\\old.txt", "o"},
                                        {L"Rover\\Rover\\older.txt", "o"},
                                        {L"sub\\Rover\\z.txt", "z"}}));
    using TEntries = std::set<std::wstring>;
    const TEntries all = {L"\\a.txt", L"\\Rover\\old.txt", L"\\Rover\\Rover\\older.txt",
                          L"\\sub\\Rover\\z.txt"};
    const TEntries withoutRover = {L"\\a.txt", L"\\sub\\Rover\\z.txt"};
    const struct {
        std::wstring Source, Skip;
        TEntries Entries;
    } cases[] = {
        {drive + L"\\", drive + L"\\Rover", withoutRover},
        {drive + L"\\", drive + L"\\rOVER\\", withoutRover},
        {drive + L"\\", drive + L"\\sub\\..\\Rover", withoutRover},
        // The same folder by another path: only its identity tells.
        {drive + L"\\", test::BuildPath(L"copy-drives\\n\\Rover"), withoutRover},
        {drive + L"\\",
         drive + L"\\sub\\Rover",
         {L"\\a.txt", L"\\Rover\\old.txt", L"\\Rover\\Rover\\older.txt"}},
        // The source itself, or a folder beside it, is never left out.
        {drive + L"\\", drive + L"\\", all},
        {drive + L"\\Rover", drive + L"\\Rover", {L"\\old.txt", L"\\Rover\\older.txt"}},
        {drive + L"\\", L"J:\\Rover", all},
        {drive + L"\\", drive + L"\\Missing", all},
    };
    for (const auto& c : cases) {
        TScan scan(c.Source, c.Skip);
        EXPECT_TRUE(scan.Ok);
        TEntries listed;
        for (const TCopyFile* f : *scan.List)
            listed.insert(f->FileName);
        EXPECT_EQ(listed, c.Entries) << std::string(c.Skip.begin(), c.Skip.end());
    }
    test::ClearDrive(drive);
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
