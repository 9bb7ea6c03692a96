// Folder chains: the destination folder and each file's folder are made top-down.
#include "copy/CreateDir.h"

#include <windows.h>

#include "support/Paths.h"

namespace rover {

namespace {

// A false result must carry a code whose system text is true; where no
// system call failed, the caller names one.
bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

} // namespace

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return suffix.size() <= text.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int GetDirState(const std::wstring& path) {
    if (path.empty())
        return -1;
    std::wstring full = FullPathName(path);
    if (full.empty())
        return -1;
    if (EndsWith(full, L":\\")) {
        const UINT type = GetDriveTypeW(full.c_str());
        return type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR ? -1 : 1;
    }
    if (EndsWith(full, L"\\"))
        full.pop_back();
    const DWORD attributes = GetFileAttributesW(ExtendedPath(full).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -1;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : -1;
}

bool CreateDirChain(const std::wstring& path) {
    std::wstring full = FullPathName(path);
    if (full.empty())
        return Fail(GetLastError() != 0 ? GetLastError() : ERROR_BAD_PATHNAME);
    if (full.size() <= 3) {
        if (GetDirState(full) >= 0)
            return true;
        return Fail(ERROR_INVALID_DRIVE);
    }
    if (EndsWith(full, L"\\"))
        full.pop_back();

    // The recursion works on the plain path; only the calls see the long form.
    const std::wstring callPath = ExtendedPath(full);
    const DWORD attributes = GetFileAttributesW(callPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return true;
        // What CreateDirectoryW itself reports for a file in the way.
        return Fail(ERROR_ALREADY_EXISTS);
    }
    const DWORD queryError = GetLastError();
    if (queryError != ERROR_FILE_NOT_FOUND && queryError != ERROR_PATH_NOT_FOUND)
        return Fail(queryError != 0 ? queryError : ERROR_BAD_PATHNAME);

    const size_t slash = full.rfind(L'\\');
    if (slash == std::wstring::npos)
        return Fail(ERROR_BAD_PATHNAME);
    const std::wstring parent = full.substr(0, slash + 1);
    if (parent == full)
        return Fail(ERROR_BAD_PATHNAME);
    // A failed parent has already left its own code; it is passed on as is.
    if (!CreateDirChain(parent))
        return false;
    if (CreateDirectoryW(callPath.c_str(), nullptr))
        return true;
    const DWORD createError = GetLastError();
    // Someone else made it meanwhile: the folder is there, which is all that is asked.
    if (createError == ERROR_ALREADY_EXISTS && GetDirState(full) == 1)
        return true;
    return Fail(createError != 0 ? createError : ERROR_BAD_PATHNAME);
}

} // namespace rover
