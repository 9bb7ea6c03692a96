// Scanning the distribution folder into the list of files to copy.
#include "copy/SourceList.h"

#include "support/Handles.h"
#include "support/Paths.h"

namespace rover {

namespace {

const wchar_t kSetupRelativeName[] = L"\\rover_setup.exe";
const wchar_t kDictionaryRelativeName[] = L"\\speller\\userdic.tlx";

const SourceScanApi kRealSourceScanCalls = {&::FindFirstFileW, &::FindNextFileW,
                                            &::GetFileInformationByHandle,
                                            &::GetFinalPathNameByHandleW};
SourceScanApi gSourceScanCalls = kRealSourceScanCalls;

// A folder's identity, so that a junction or link back to an ancestor is
// recognised whatever path leads to it.
struct TFolderId {
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;
    bool operator==(const TFolderId& other) const {
        return Volume == other.Volume && IndexHigh == other.IndexHigh && IndexLow == other.IndexLow;
    }
};

TKernelHandle OpenFolder(const std::wstring& folder) {
    return TKernelHandle(CreateFileW(ExtendedPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// False where the identity says nothing: unreadable, or the 0 that some
// network redirectors report for every folder. Such a folder is never "seen".
bool QueryFolderId(const std::wstring& folder, TFolderId& id) {
    TKernelHandle handle = OpenFolder(folder);
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !SourceScanCalls().GetFileInformationByHandle(handle.Get(), &info))
        return false;
    id.Volume = info.dwVolumeSerialNumber;
    id.IndexHigh = info.nFileIndexHigh;
    id.IndexLow = info.nFileIndexLow;
    return id.Volume != 0 && (id.IndexHigh != 0 || id.IndexLow != 0);
}

// Where a folder really is, links resolved, in plain form; empty when the
// system cannot tell.
std::wstring FinalPathOf(const std::wstring& folder) {
    TKernelHandle handle = OpenFolder(folder);
    if (!handle)
        return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = SourceScanCalls().GetFinalPathNameByHandle(
            handle.Get(), &path[0], static_cast<DWORD>(path.size()), 0);
        if (got == 0)
            return std::wstring();
        if (got < path.size()) {
            path.resize(got);
            break;
        }
        path.resize(got + 1);
    }
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return PlainPath(path);
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool StrictlyInside(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           SamePathText(path.substr(0, folder.size()), folder);
}

struct TScan {
    TScan(TCopyFileList& list, std::int64_t& totalSize, TScanFailure* failure)
        : List(list), TotalSize(totalSize), Failure(failure) {}

    TCopyFileList& List;
    std::int64_t& TotalSize;
    TScanFailure* Failure;
    // The source root's final path; empty when it cannot be read, and links
    // are then judged by their place in the tree.
    std::wstring RootReal;
    // The folder to leave out, relative to the source ("\Rover\"), and its identity.
    std::wstring SkipRelative;
    TFolderId SkipId;
    bool SkipIdKnown = false;
    // The chain of folders being listed: identities where they say something,
    // and where each really is, for links whose identity says nothing.
    std::vector<TFolderId> AncestorIds;
    std::vector<std::wstring> AncestorReals;

    bool Fail(const std::wstring& folder, DWORD error) {
        if (Failure != nullptr) {
            const std::wstring full = FullPathName(folder);
            Failure->Folder = PlainPath(full.empty() ? folder : full);
            Failure->Error = error;
        }
        return false;
    }

    bool IsAncestorReal(const std::wstring& real) const {
        for (const std::wstring& ancestor : AncestorReals) {
            if (SamePathText(ancestor, real))
                return true;
        }
        return false;
    }

    bool ScanFolder(const std::wstring& absFolder, const std::wstring& relFolder,
                    const std::wstring& real, DWORD attributes, bool isRoot);
    bool ScanEntry(const std::wstring& absFolder, const std::wstring& relFolder,
                   const WIN32_FIND_DATAW& entry);
};

bool TScan::ScanFolder(const std::wstring& absFolder, const std::wstring& relFolder,
                       const std::wstring& real, DWORD attributes, bool isRoot) {
    TFolderId self;
    const bool known = QueryFolderId(absFolder, self);
    if (!isRoot) {
        if (!SkipRelative.empty() && SamePathText(relFolder, SkipRelative))
            return true;
        if (known && SkipIdKnown && self == SkipId)
            return true;
    }
    if (known) {
        for (const TFolderId& ancestor : AncestorIds) {
            if (ancestor == self)
                return true;
        }
    }

    WIN32_FIND_DATAW entry;
    TFindHandle find(
        SourceScanCalls().FindFirstFile(ExtendedPath(absFolder + L"\\*.*").c_str(), &entry));
    if (!find) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return true;
        // Windows' own folders at a volume's root ("System Volume Information",
        // "$RECYCLE.BIN") are closed to users and never part of a distribution.
        const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (!isRoot && (attributes & hiddenSystem) == hiddenSystem)
            return true;
        return Fail(absFolder, error);
    }

    if (known)
        AncestorIds.push_back(self);
    AncestorReals.push_back(real);
    bool ok = true;
    DWORD error = ERROR_NO_MORE_FILES;
    for (;;) {
        if (!ScanEntry(absFolder, relFolder, entry)) {
            ok = false;
            break;
        }
        if (!SourceScanCalls().FindNextFile(find.Get(), &entry)) {
            error = GetLastError();
            break;
        }
    }
    AncestorReals.pop_back();
    if (known)
        AncestorIds.pop_back();
    if (!ok)
        return false;
    // A listing that breaks off (a network error, a medium pulled) must not
    // pass for a complete one.
    if (error != ERROR_NO_MORE_FILES)
        return Fail(absFolder, error);
    return true;
}

bool TScan::ScanEntry(const std::wstring& absFolder, const std::wstring& relFolder,
                      const WIN32_FIND_DATAW& entry) {
    const std::wstring name = entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name == L"." || name == L"..")
            return true;
        const std::wstring folder = absFolder + L"\\" + name;
        const std::wstring plainReal = AncestorReals.back() + L"\\" + name;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return ScanFolder(folder, relFolder + name + L"\\", plainReal, entry.dwFileAttributes,
                              false);
        // A link to a folder outside the distribution (a junction to a system
        // folder, or one of Wine's drive mappings when the setup runs from a
        // prefix) would copy data that is not the client's, up to a whole disk.
        const std::wstring target = FinalPathOf(folder);
        if (target.empty()) {
            // Neither where it leads nor a loop back could be told: following it could
            // list the tree again and again.
            TFolderId id;
            if (!QueryFolderId(folder, id))
                return true;
        } else if (!RootReal.empty() && !StrictlyInside(target, RootReal)) {
            return true;
        }
        // A link back into the chain being listed is a loop even where identities say nothing.
        const std::wstring real = target.empty() ? plainReal : target;
        if (IsAncestorReal(real))
            return true;
        return ScanFolder(folder, relFolder + name + L"\\", real, entry.dwFileAttributes, false);
    }
    const std::wstring relative = relFolder + name;
    const std::wstring folded = FoldAsciiCase(relative);
    if (folded == kSetupRelativeName)
        return true;
    auto* file = new TCopyFile;
    file->FileName = relative;
    file->FileSize = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
    file->FailIfExists = folded == kDictionaryRelativeName;
    TotalSize += file->FileSize;
    List.push_back(file);
    return true;
}

} // namespace

SourceScanApi& SourceScanCalls() {
    return gSourceScanCalls;
}

const SourceScanApi& RealSourceScanCalls() {
    return kRealSourceScanCalls;
}

std::wstring FoldAsciiCase(const std::wstring& text) {
    std::wstring folded = text;
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return folded;
}

std::int64_t ProgressUnit(std::int64_t totalSize) {
    std::int64_t unit = 1024;
    while (totalSize / unit > 0x7FFFFFFF)
        unit *= 2;
    return unit;
}

std::wstring DefaultSourceDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (got == 0)
            return std::wstring();
        if (got < path.size()) {
            path.resize(got);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return std::wstring();
    // A drive root keeps its backslash: D:\ is a folder, D: is not.
    if (slash > 0 && path[slash - 1] == L':')
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

bool ScanSourceFolder(const std::wstring& absFolder, const std::wstring& relFolder,
                      TCopyFileList& list, std::int64_t& totalSize, TScanFailure* failure,
                      const std::wstring& skipFolder) {
    TScan scan(list, totalSize, failure);
    scan.RootReal = FinalPathOf(absFolder);
    const std::wstring rootFull = WithoutTrailingBackslash(FullPathName(absFolder));
    if (!skipFolder.empty()) {
        const std::wstring skipFull = WithoutTrailingBackslash(FullPathName(skipFolder));
        if (!rootFull.empty() && StrictlyInside(skipFull, rootFull))
            scan.SkipRelative = relFolder + skipFull.substr(rootFull.size() + 1) + L"\\";
        scan.SkipIdKnown = QueryFolderId(skipFolder, scan.SkipId);
    }
    const std::wstring rootReal = scan.RootReal.empty() ? rootFull : scan.RootReal;
    return scan.ScanFolder(absFolder, relFolder, rootReal, 0, true);
}

} // namespace rover
