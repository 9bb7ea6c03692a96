// The list of files that an installation copies from the distribution folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rover {

// One file to copy. Sizes are 64-bit: clients of 2 GiB and more must still
// show true progress.
struct TCopyFile {
    std::wstring FileName; // relative to the source folder, with a leading backslash
    std::int64_t FileSize = 0;
    bool FailIfExists = false; // the user's dictionary is never replaced
};

using TCopyFileList = std::vector<TCopyFile*>;

// The folder of the running program: up to its last backslash, which a
// drive root keeps (D:\).
std::wstring DefaultSourceDir();

// Why a scan ended early: the first folder that could not be listed, in the
// plain form shown to the user, and the system's code for it.
struct TScanFailure {
    std::wstring Folder;
    std::uint32_t Error = 0;
};

// Appends every file below absFolder (relFolder is the same folder relative
// to the source, "\" at the top) in depth-first order and adds the sizes to
// totalSize. The setup itself at the top is skipped. A folder that leads back
// to one of its own ancestors is not entered again, and a linked folder only
// where it leads inside the source. skipFolder, when not empty, is left out
// where it lies strictly inside absFolder (the destination of an installation
// unpacked onto its own drive); absFolder itself is always listed. A folder
// with both the hidden and the system attribute that cannot be listed is
// passed over (the system's own folders at a volume's root). Any other folder
// that cannot be listed ends the scan: false, with failure filled when given;
// what was listed until then stays in the list.
bool ScanSourceFolder(const std::wstring& absFolder, const std::wstring& relFolder,
                      TCopyFileList& list, std::int64_t& totalSize, TScanFailure* failure = nullptr,
                      const std::wstring& skipFolder = std::wstring());

// The system calls of the scan whose answers Windows gives and Wine does not
// (folders closed to the user, file index 0 on some redirectors, a final path
// that cannot be read). Real calls unless a test swaps them.
struct SourceScanApi {
    HANDLE(WINAPI* FindFirstFile)(LPCWSTR pattern, LPWIN32_FIND_DATAW entry);
    BOOL(WINAPI* FindNextFile)(HANDLE find, LPWIN32_FIND_DATAW entry);
    BOOL(WINAPI* GetFileInformationByHandle)(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
    DWORD(WINAPI* GetFinalPathNameByHandle)(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
};
SourceScanApi& SourceScanCalls();
const SourceScanApi& RealSourceScanCalls();

// The bytes one step of the progress bar stands for: 1024, or a larger power
// of two where the steps of `totalSize` would not fit the bar's 32-bit range.
std::int64_t ProgressUnit(std::int64_t totalSize);

// The same comparison the scan uses: letters A to Z folded, nothing else.
std::wstring FoldAsciiCase(const std::wstring& text);

} // namespace rover
