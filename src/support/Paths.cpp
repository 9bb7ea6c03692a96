// Full paths and the extended-length form that the file system calls take for long paths.
#include "support/Paths.h"

#include <windows.h>

namespace rover {

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";
const wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kDevicePrefix[] = L"\\\\.\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// A source at a drive root forms paths such as D:\\sub by plain joining; the system folds
// them, the \\?\ form would not. The two backslashes that open a network path stay.
std::wstring WithoutDoubledBackslashes(const std::wstring& path) {
    std::wstring out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'\\' && i > 1 && !out.empty() && out.back() == L'\\')
            continue;
        out += path[i];
    }
    return out;
}

} // namespace

std::wstring FullPathName(const std::wstring& path) {
    if (path.empty()) {
        SetLastError(ERROR_BAD_PATHNAME);
        return std::wstring();
    }
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (got == 0)
            return std::wstring();
        if (got < full.size()) {
            full.resize(got);
            return full;
        }
        full.resize(got); // got counts the terminating null when the buffer was short
    }
}

std::wstring ExtendedPath(const std::wstring& path) {
    if (path.size() < kExtendedPathFrom || StartsWith(path, kExtendedPrefix) ||
        StartsWith(path, kDevicePrefix))
        return path;
    const std::wstring full = WithoutDoubledBackslashes(FullPathName(path));
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return kExtendedPrefix + full;
    if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\')
        return kExtendedUncPrefix + full.substr(2);
    return path;
}

std::wstring PlainPath(const std::wstring& path) {
    if (StartsWith(path, kExtendedUncPrefix))
        return L"\\\\" + path.substr(wcslen(kExtendedUncPrefix));
    if (StartsWith(path, kExtendedPrefix))
        return path.substr(wcslen(kExtendedPrefix));
    return path;
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace rover
