// The list of files that an installation copies from the distribution folder.
#pragma once

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
// to one of its own ancestors is not entered again. skipFolder, when not
// empty, is a folder below absFolder that is left out (the destination of an
// installation unpacked onto its own drive). Returns false, with failure
// filled when given, at the first folder that cannot be listed; what was
// listed until then stays in the list.
bool ScanSourceFolder(const std::wstring& absFolder, const std::wstring& relFolder,
                      TCopyFileList& list, std::int64_t& totalSize, TScanFailure* failure = nullptr,
                      const std::wstring& skipFolder = std::wstring());

// The bytes one step of the progress bar stands for: 1024, or a larger power
// of two where the steps of `totalSize` would not fit the bar's 32-bit range.
std::int64_t ProgressUnit(std::int64_t totalSize);

// The same comparison the scan uses: letters A to Z folded, nothing else.
std::wstring FoldAsciiCase(const std::wstring& text);

} // namespace rover
