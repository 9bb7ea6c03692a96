// The room check: the sizes of the targets an installation replaces and the drive's free space.
#include "copy/RoomCheck.h"

#include "copy/Autorun.h"
#include "support/Paths.h"

namespace rover {

namespace {

const FreeSpaceQueryApi kRealFreeSpaceQueryCalls = {&::GetDiskFreeSpaceExW};
FreeSpaceQueryApi gFreeSpaceQueryCalls = kRealFreeSpaceQueryCalls;

bool NotThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

FreeSpaceQueryApi& FreeSpaceQueryCalls() {
    return gFreeSpaceQueryCalls;
}

const FreeSpaceQueryApi& RealFreeSpaceQueryCalls() {
    return kRealFreeSpaceQueryCalls;
}

std::int64_t BytesNeeded(const TCopyFileList& files, const std::wstring& dstDir) {
    std::int64_t needed = 0;
    std::wstring folder;
    bool folderMissing = false;
    for (const TCopyFile* file : files) {
        const std::wstring target = dstDir + file->FileName;
        const size_t slash = target.rfind(L'\\');
        // A fresh installation asks once per folder, not once per file.
        if (folder.empty() || target.compare(0, slash, folder) != 0 || folder.size() != slash) {
            folder = target.substr(0, slash);
            folderMissing =
                GetFileAttributesW(ExtendedPath(folder).c_str()) == INVALID_FILE_ATTRIBUTES &&
                NotThere(GetLastError());
        }
        if (folderMissing) {
            needed += file->FileSize;
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        // A long target read in its plain form would seem missing and count in full.
        if (!GetFileAttributesExW(ExtendedPath(target).c_str(), GetFileExInfoStandard, &data)) {
            if (NotThere(GetLastError()))
                needed += file->FileSize;
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            needed += file->FileSize;
            continue;
        }
        if (file->FailIfExists)
            continue;
        const std::int64_t existing = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        needed += file->FileSize - existing;
    }
    return needed;
}

bool FreeSpaceOf(const std::wstring& dstDir, std::uint64_t& freeBytes) {
    const std::wstring drive = AutorunDrivePart(dstDir);
    if (drive.empty())
        return false;
    const std::wstring root = drive + L"\\";
    ULARGE_INTEGER freeToCaller, total, totalFree;
    if (!gFreeSpaceQueryCalls.GetDiskFreeSpaceEx(root.c_str(), &freeToCaller, &total, &totalFree))
        return false;
    freeBytes = freeToCaller.QuadPart;
    return true;
}

std::uint64_t MissingRoom(std::int64_t needed, std::uint64_t freeBytes) {
    if (needed <= 0 || static_cast<std::uint64_t>(needed) <= freeBytes)
        return 0;
    return static_cast<std::uint64_t>(needed) - freeBytes;
}

} // namespace rover
