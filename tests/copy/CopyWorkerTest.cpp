// The copy helper: the fail-if-exists rule, list order, and the first failure ending the run.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "TestHarness.h"
#include "copy/CopyWorker.h"

namespace rover {
namespace {

using test::TTempDir;

TEST(CopyOneFile, AnExistingDictionaryIsKeptAndOtherFailuresStayErrors) {
    enum class Target { None, File, Folder };
    const struct {
        bool FailIfExists;
        Target Existing;
        bool Ok, Kept;
        std::string Expected; // the target's bytes afterwards
    } cases[] = {
        {false, Target::None, true, false, "new"}, {false, Target::File, true, false, "new"},
        {true, Target::None, true, false, "new"},  {true, Target::File, true, true, "old"},
        {true, Target::Folder, false, false, ""},
    };
    for (const auto& c : cases) {
        TTempDir tmp(L"one");
        ASSERT_TRUE(test::WriteFileBytes(tmp / L"source", "new"));
        if (c.Existing == Target::File) {
            ASSERT_TRUE(test::WriteFileBytes(tmp / L"target", "old"));
        }
        if (c.Existing == Target::Folder) {
            ASSERT_TRUE(test::MakeDirs(tmp / L"target"));
        }
        const TCopyResult result = CopyOneFile(tmp / L"source", tmp / L"target", c.FailIfExists);
        EXPECT_EQ(result.Ok, c.Ok);
        EXPECT_EQ(result.KeptExisting, c.Kept);
        EXPECT_EQ(result.Error == 0, c.Ok) << "an error carries its code, success none";
        std::string bytes;
        test::ReadFileBytes(tmp / L"target", bytes);
        EXPECT_EQ(bytes, c.Expected);
    }
    TTempDir tmp(L"one");
    const TCopyResult missing = CopyOneFile(tmp / L"missing", tmp / L"target", true);
    EXPECT_FALSE(missing.Ok);
    EXPECT_EQ(missing.Error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Windows' rule, which Wine as root does not apply and as another user applies only to
// read-only files: a read-only or hidden target is not replaced.
BOOL WINAPI CopyWithWindowsTargetRule(LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress,
                                      LPVOID data, LPBOOL cancel, DWORD flags) {
    const DWORD attributes = GetFileAttributesW(target);
    if (!(flags & COPY_FILE_FAIL_IF_EXISTS) && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return CopyFileExW(source, target, progress, data, cancel, flags);
}

struct TWindowsTargetRule {
    TWindowsTargetRule() { FileCopyCalls().CopyFileEx = &CopyWithWindowsTargetRule; }
    ~TWindowsTargetRule() { FileCopyCalls() = RealFileCopyCalls(); }
};

constexpr DWORD kShownAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

DWORD AttributesOf(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) & kShownAttributes;
}

TEST(CopyOneFile, AProtectedTargetIsReplacedAndTakesTheSourcesAttributes) {
    TWindowsTargetRule windows;
    const struct {
        DWORD Target, Source;
    } cases[] = {
        {FILE_ATTRIBUTE_READONLY, 0},
        {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY,
         FILE_ATTRIBUTE_HIDDEN},
        {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY}, // a second installation as is
    };
    for (const auto& c : cases) {
        TTempDir tmp(L"one");
        ASSERT_TRUE(test::WriteFileBytes(tmp / L"source", "new"));
        ASSERT_TRUE(test::WriteFileBytes(tmp / L"target", "old"));
        ASSERT_TRUE(test::SetAttributes(tmp / L"target", c.Target));
        ASSERT_TRUE(test::SetAttributes(tmp / L"source", c.Source | FILE_ATTRIBUTE_ARCHIVE));
        ASSERT_EQ(AttributesOf(tmp / L"target"), c.Target) << "the file system keeps no attributes";
        const TCopyResult result = CopyOneFile(tmp / L"source", tmp / L"target", false);
        EXPECT_TRUE(result.Ok) << "target " << c.Target << ", error " << result.Error;
        std::string bytes;
        test::ReadFileBytes(tmp / L"target", bytes);
        EXPECT_EQ(bytes, "new");
        EXPECT_EQ(AttributesOf(tmp / L"target"), c.Source);
        EXPECT_EQ(AttributesOf(tmp / L"source"), c.Source);
        test::SetAttributes(tmp / L"source", FILE_ATTRIBUTE_NORMAL);
        test::SetAttributes(tmp / L"target", FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(CopyOneFile, TheKeptDictionaryAndAFolderInTheWayAreNeverTouched) {
    TWindowsTargetRule windows;
    const DWORD protectedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    TTempDir tmp(L"one");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"source", "new"));
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"dictionary", "the user's words"));
    ASSERT_TRUE(test::SetAttributes(tmp / L"dictionary", protectedAttributes));
    const TCopyResult kept = CopyOneFile(tmp / L"source", tmp / L"dictionary", true);
    EXPECT_TRUE(kept.Ok);
    EXPECT_TRUE(kept.KeptExisting);
    std::string bytes;
    test::ReadFileBytes(tmp / L"dictionary", bytes);
    EXPECT_EQ(bytes, "the user's words");
    EXPECT_EQ(AttributesOf(tmp / L"dictionary"), protectedAttributes);
    test::SetAttributes(tmp / L"dictionary", FILE_ATTRIBUTE_NORMAL);

    ASSERT_TRUE(test::MakeDirs(tmp / L"folder"));
    ASSERT_TRUE(
        test::SetAttributes(tmp / L"folder", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    SetLastError(0);
    const DWORD expected =
        CopyFileW((tmp / L"source").c_str(), (tmp / L"folder").c_str(), FALSE) ? 0 : GetLastError();
    const TCopyResult blocked = CopyOneFile(tmp / L"source", tmp / L"folder", false);
    EXPECT_FALSE(blocked.Ok);
    EXPECT_EQ(blocked.Error, expected) << "the folder's own refusal, not a later call's";
    EXPECT_NE(blocked.Error, 0u);
    EXPECT_TRUE(test::DirExists(tmp / L"folder"));
    EXPECT_EQ(AttributesOf(tmp / L"folder"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

TEST(CopyOneFile, AFileThatIsItsOwnTargetCountsAsDoneAndKeepsItsAttributes) {
    TWindowsTargetRule windows;
    TTempDir tmp(L"one");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"Same.ini", "in place"));
    ASSERT_TRUE(test::SetAttributes(tmp / L"Same.ini", FILE_ATTRIBUTE_READONLY));
    // The same file by another spelling of its path, as a setup run from the folder it
    // installs to forms it.
    for (const std::wstring& target :
         {tmp / L"Same.ini", tmp / L"SAME.INI", tmp / L".\\Same.ini"}) {
        const TCopyResult result = CopyOneFile(tmp / L"Same.ini", target, false);
        EXPECT_TRUE(result.Ok) << "error " << result.Error;
        EXPECT_TRUE(result.AlreadyInPlace);
        std::string bytes;
        test::ReadFileBytes(tmp / L"Same.ini", bytes);
        EXPECT_EQ(bytes, "in place");
        EXPECT_EQ(AttributesOf(tmp / L"Same.ini"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    test::SetAttributes(tmp / L"Same.ini", FILE_ATTRIBUTE_NORMAL);
}

void RunToEnd(TCopyWorker& worker) {
    while (!worker.Finished())
        WaitForSingleObject(worker.Signal(), 30);
}

TEST(CopyWorker, CopiesInOrderAndStopsAtTheFirstFailure) {
    TTempDir tmp(L"worker");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"a", "a"));
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"c", "c"));
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"blocker", "a file where a folder should be"));
    const std::wstring out = tmp / L"out";
    const struct {
        std::vector<TCopyJob> Jobs;
        TCopyStage Stage;
        size_t Index;
        DWORD Error;
    } cases[] = {
        {{{tmp / L"a", out + L"\\x\\a", out + L"\\x", false},
          {tmp / L"c", out + L"\\x\\y\\c", out + L"\\x\\y", false}},
         TCopyStage::None,
         0,
         0},
        {{{tmp / L"a", out + L"\\a", out, false},
          {tmp / L"missing", out + L"\\b", out, false},
          {tmp / L"c", out + L"\\c", out, false}},
         TCopyStage::Copy,
         1,
         ERROR_FILE_NOT_FOUND},
        {{{tmp / L"a", out + L"\\a", out, false},
          {tmp / L"c", tmp / L"blocker\\sub\\c", tmp / L"blocker\\sub", false},
          {tmp / L"c", out + L"\\c", out, false}},
         TCopyStage::Folder,
         1,
         ERROR_ALREADY_EXISTS},
    };
    for (const auto& c : cases) {
        test::RemoveTree(out);
        TCopyWorker worker([] {});
        worker.Copy(std::wstring(), c.Jobs);
        RunToEnd(worker);
        EXPECT_EQ(worker.Failure().Stage, c.Stage);
        if (c.Stage == TCopyStage::None) {
            EXPECT_EQ(worker.DoneCount(), c.Jobs.size());
            for (const TCopyJob& job : c.Jobs)
                EXPECT_TRUE(test::FileExists(job.Target));
            continue;
        }
        EXPECT_EQ(worker.Failure().Index, c.Index);
        EXPECT_EQ(worker.Failure().Error, c.Error);
        EXPECT_EQ(worker.DoneCount(), c.Index);
        EXPECT_TRUE(test::FileExists(c.Jobs[0].Target));
        EXPECT_FALSE(test::FileExists(c.Jobs[2].Target)) << "a file after the failure was copied";
    }
}

TEST(CopyWorker, RunsItsPreparationThenMakesTheDestinationBeforeTheJobs) {
    TTempDir tmp(L"worker");
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"a", "a"));
    ASSERT_TRUE(test::WriteFileBytes(tmp / L"blocker", "a file where a folder should be"));
    const struct {
        std::wstring Destination;
        TCopyStage Stage;
    } cases[] = {
        {tmp / L"out\\deep", TCopyStage::None},
        {tmp / L"blocker\\out", TCopyStage::Destination},
    };
    for (const auto& c : cases) {
        DWORD preparedOn = 0;
        TCopyWorker worker([&] { preparedOn = GetCurrentThreadId(); });
        ASSERT_TRUE(test::PumpUntil([&] { return worker.Prepared(); }, 5000));
        EXPECT_NE(preparedOn, GetCurrentThreadId()) << "the preparation ran on the caller's thread";
        EXPECT_FALSE(worker.Finished()) << "the helper must wait for its jobs";
        const std::wstring target = c.Destination + L"\\x\\a";
        worker.Copy(c.Destination, {{tmp / L"a", target, c.Destination + L"\\x", false}});
        RunToEnd(worker);
        EXPECT_EQ(worker.Failure().Stage, c.Stage);
        EXPECT_EQ(worker.DestinationMade(), c.Stage == TCopyStage::None);
        EXPECT_EQ(test::FileExists(target), c.Stage == TCopyStage::None);
    }
    // A helper that is never given its jobs still ends with its owner.
    TCopyWorker idle([] {});
}

TEST(CopyWorker, AnExceptionOnTheHelperEndsTheRunWithAPlainCode) {
    const struct {
        std::function<void()> Throw;
        DWORD Error;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, ERROR_NOT_ENOUGH_MEMORY},
        {[] { throw std::runtime_error("broken"); }, ERROR_INTERNAL_ERROR},
        {[] { throw 42; }, ERROR_INTERNAL_ERROR},
    };
    for (const auto& c : cases) {
        TCopyWorker worker(c.Throw);
        RunToEnd(worker);
        EXPECT_FALSE(worker.Prepared());
        EXPECT_EQ(worker.Failure().Stage, TCopyStage::Exception);
        EXPECT_EQ(worker.Failure().Error, c.Error);
    }
}

TEST(CopyWorker, AnEmptyListFinishesAtOnce) {
    TCopyWorker worker([] {});
    worker.Copy(std::wstring(), {});
    RunToEnd(worker);
    EXPECT_EQ(worker.DoneCount(), 0u);
    EXPECT_EQ(worker.Failure().Stage, TCopyStage::None);
}

} // namespace
} // namespace rover
