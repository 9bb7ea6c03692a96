// The room check's sums: what replacing, keeping and new files add to a drive, and when that is too
// much.
#include <gtest/gtest.h>

#include "TestHarness.h"
#include "copy/RoomCheck.h"
#include "support/ClassesUtils.h"

namespace rover {
namespace {

using test::TTempDir;

TEST(BytesNeeded, CountsEachFileLessTheTargetItReplaces) {
    TTempDir dst(L"room");
    ASSERT_TRUE(test::WriteFileBytes(dst / L"same.bin", std::string(100, 's')));
    ASSERT_TRUE(test::WriteFileBytes(dst / L"shrinks.bin", std::string(1000, 'b')));
    ASSERT_TRUE(test::MakeDirs(dst / L"speller"));
    ASSERT_TRUE(test::WriteFileBytes(dst / L"speller\\userdic.tlx", std::string(50, 'u')));
    ASSERT_TRUE(test::MakeDirs(dst / L"folder.bin"));
    const struct {
        const wchar_t* FileName;
        std::int64_t Size;
        bool FailIfExists;
        std::int64_t Needed;
    } cases[] = {
        {L"\\same.bin", 100, false, 0},
        {L"\\shrinks.bin", 10, false, -990},
        {L"\\new.bin", 70, false, 70},
        {L"\\speller\\userdic.tlx", 4000, true, 0}, // the kept dictionary
        {L"\\speller\\en.tlx", 30, false, 30},
        {L"\\fresh\\deeper\\f.bin", 5, false, 5},
        {L"\\folder.bin", 20, false, 20},
    };
    TCopyFileList all;
    std::int64_t sum = 0;
    for (const auto& c : cases) {
        TCopyFileList one{new TCopyFile{c.FileName, c.Size, c.FailIfExists}};
        EXPECT_EQ(BytesNeeded(one, dst.Path()), c.Needed) << c.FileName;
        all.push_back(one[0]);
        sum += c.Needed;
    }
    EXPECT_EQ(BytesNeeded(all, dst.Path()), sum);
    EXPECT_EQ(BytesNeeded(all, dst / L"missing"), 100 + 10 + 70 + 4000 + 30 + 5 + 20);
    TCopyFileList* list = new TCopyFileList(all);
    FreeListAndNil(list);
}

TEST(MissingRoom, IsWhatSurelyDoesNotFit) {
    const struct {
        std::int64_t Needed;
        std::uint64_t Free;
        std::uint64_t Missing;
    } cases[] = {
        {0, 0, 0},
        {-500, 0, 0},
        {1000, 1000, 0},
        {1001, 1000, 1},
        {5LL << 32, 1LL << 32, 4ULL << 32},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MissingRoom(c.Needed, c.Free), c.Missing) << c.Needed << " " << c.Free;
}

} // namespace
} // namespace rover
