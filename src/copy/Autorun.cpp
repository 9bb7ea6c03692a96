// Writing the autorun file that names the installed client as the drive's program and icon.
#include "copy/Autorun.h"

#include "support/Handles.h"
#include "support/Utils.h"

namespace rover {

std::wstring AutorunDrivePart(const std::wstring& dstDir) {
    if (dstDir.size() >= 2 && dstDir[1] == L':')
        return dstDir.substr(0, 2);
    if (dstDir.size() >= 2 && dstDir[0] == L'\\' && dstDir[1] == L'\\') {
        // Up to, not including, the backslash after the share name.
        const size_t serverEnd = dstDir.find(L'\\', 2);
        if (serverEnd == std::wstring::npos)
            return dstDir;
        const size_t shareEnd = dstDir.find(L'\\', serverEnd + 1);
        return shareEnd == std::wstring::npos ? dstDir : dstDir.substr(0, shareEnd);
    }
    return std::wstring();
}

std::string AutorunBytes(const std::wstring& relativeFolder) {
    const std::wstring text = L"[autorun]\r\nopen=" + relativeFolder + L"\\rover.exe\r\nicon=" +
                              relativeFolder + L"\\rover.exe,0\r\nlabel=Kestrel Rover\r\n";
    return UnicodeToCodePage(text, GetACP());
}

bool AutorunFileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return false;
    // A file locked by another program may refuse even its attributes; the
    // folder listing still shows it, and it must not be overwritten.
    WIN32_FIND_DATAW entry;
    TFindHandle find(FindFirstFileW(path.c_str(), &entry));
    return find && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TAutorunOutcome WriteAutorunFile(const std::wstring& path, const std::string& bytes) {
    TAutorunOutcome outcome;
    TKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        outcome.Status = TAutorunStatus::CreateFailed;
        outcome.Error = GetLastError();
        return outcome;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                       &written, nullptr)) {
            outcome.Error = GetLastError();
            outcome.Status = TAutorunStatus::WriteFailed;
            break;
        }
        if (written == 0) {
            outcome.Error = ERROR_WRITE_FAULT;
            outcome.Status = TAutorunStatus::WriteFailed;
            break;
        }
        done += written;
    }
    file.Reset();
    if (outcome.Status == TAutorunStatus::WriteFailed)
        DeleteFileW(path.c_str());
    return outcome;
}

} // namespace rover
