// Drives and trees of the copy tests: the mapped letters, their mounts, and small distribution
// trees.
#pragma once

#include <map>
#include <string>

namespace rover::test {

// Plain folders of the build tree (scripts/test-prefix.d/copy.sh).
constexpr wchar_t kPlainDrive[] = L"J:";
constexpr wchar_t kRootSourceDrive[] = L"N:";
// Mounted by tests/copy/mounts.sh for the run: a 1 MiB tmpfs, a read-only
// tmpfs and a 64 KiB tmpfs.
constexpr wchar_t kSmallDrive[] = L"K:";
constexpr wchar_t kReadOnlyDrive[] = L"L:";
constexpr wchar_t kTinyDrive[] = L"M:";
// Never mapped.
constexpr wchar_t kMissingDrive[] = L"O:";

// Whether the run could mount the drive (its marker file is there).
bool DriveMounted(const std::wstring& drive);
// Why a test on that drive skips.
std::string MountSkipMessage(const std::wstring& drive);
// Removes everything on the drive but its marker file.
void ClearDrive(const std::wstring& drive);

// Relative path (backslashes, no leading one) to contents.
using TTree = std::map<std::wstring, std::string>;
bool WriteTree(const std::wstring& root, const TTree& tree);
// Every file below root, by relative path, with its bytes.
TTree ReadTree(const std::wstring& root);

} // namespace rover::test
