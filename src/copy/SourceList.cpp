// Scanning the distribution folder into the list of files to copy.
#include "copy/SourceList.h"

#include <windows.h>

#include "support/Handles.h"

namespace rover {

namespace {

const wchar_t kSetupRelativeName[] = L"\\rover_setup.exe";
const wchar_t kDictionaryRelativeName[] = L"\\speller\\userdic.tlx";

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

bool QueryFolderId(const std::wstring& folder, TFolderId& id) {
    TKernelHandle handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.Get(), &info))
        return false;
    id.Volume = info.dwVolumeSerialNumber;
    id.IndexHigh = info.nFileIndexHigh;
    id.IndexLow = info.nFileIndexLow;
    return true;
}

// Where a folder really is, links resolved; empty when the system cannot tell.
std::wstring FinalPathOf(const std::wstring& folder) {
    TKernelHandle handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got =
            GetFinalPathNameByHandleW(handle.Get(), &path[0], static_cast<DWORD>(path.size()), 0);
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
    return FoldAsciiCase(path);
}

// A link to a folder outside the distribution (a junction to a system folder,
// or one of Wine's drive mappings when the setup runs from a prefix) would
// copy data that is not the client's, up to a whole disk.
bool LeadsInside(const std::wstring& folder, const std::wstring& root) {
    if (root.empty())
        return false;
    const std::wstring target = FinalPathOf(folder);
    return target.size() > root.size() && target.compare(0, root.size(), root) == 0 &&
           target[root.size()] == L'\\';
}

void ScanFolder(const std::wstring& absFolder, const std::wstring& relFolder, TCopyFileList& list,
                std::int64_t& totalSize, std::vector<TFolderId>& ancestors,
                const std::wstring& root) {
    TFolderId self;
    const bool known = QueryFolderId(absFolder, self);
    if (known) {
        for (const TFolderId& ancestor : ancestors) {
            if (ancestor == self)
                return;
        }
        ancestors.push_back(self);
    }

    WIN32_FIND_DATAW entry;
    TFindHandle find(FindFirstFileW((absFolder + L"\\*.*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring folder = absFolder + L"\\" + name;
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    !LeadsInside(folder, root))
                    continue;
                ScanFolder(folder, relFolder + name + L"\\", list, totalSize, ancestors, root);
                continue;
            }
            const std::wstring relative = relFolder + name;
            const std::wstring folded = FoldAsciiCase(relative);
            if (folded == kSetupRelativeName)
                continue;
            auto* file = new TCopyFile;
            file->FileName = relative;
            file->FileSize = static_cast<std::int64_t>(
                (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
            file->FailIfExists = folded == kDictionaryRelativeName;
            totalSize += file->FileSize;
            list.push_back(file);
        } while (FindNextFileW(find.Get(), &entry));
    }

    if (known)
        ancestors.pop_back();
}

} // namespace

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
                      TCopyFileList& list, std::int64_t& totalSize, TScanFailure* /*failure*/,
                      const std::wstring& /*skipFolder*/) {
    std::vector<TFolderId> ancestors;
    ScanFolder(absFolder, relFolder, list, totalSize, ancestors, FinalPathOf(absFolder));
    return true;
}

} // namespace rover
