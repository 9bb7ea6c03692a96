// The room check before an installation writes anything: what the copy adds to the drive against
// its free space.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "copy/SourceList.h"

namespace rover {

// The system call of the room check that can fail where Wine cannot make it
// fail (a network drive that does not answer, a device not ready); tests swap
// it.
struct FreeSpaceQueryApi {
    BOOL(WINAPI* GetDiskFreeSpaceEx)
    (LPCWSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total, PULARGE_INTEGER totalFree);
};
FreeSpaceQueryApi& FreeSpaceQueryCalls();
const FreeSpaceQueryApi& RealFreeSpaceQueryCalls();

// What copying the files into dstDir (no trailing backslash) adds to its
// drive: each file's size less the size of the file it replaces. A kept
// dictionary adds nothing, and a target whose size cannot be read counts as
// replaced by a file of its own size, so the sum never overstates the need.
// Negative when the installation shrinks.
std::int64_t BytesNeeded(const TCopyFileList& files, const std::wstring& dstDir);

// The space free for this user on dstDir's drive; false where it cannot be read.
bool FreeSpaceOf(const std::wstring& dstDir, std::uint64_t& freeBytes);

// How much more the installation needs than there is; 0 when it may fit.
std::uint64_t MissingRoom(std::int64_t needed, std::uint64_t freeBytes);

} // namespace rover
