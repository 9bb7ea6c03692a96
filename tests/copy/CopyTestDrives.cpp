// Drives and trees of the copy tests.
#include "CopyTestDrives.h"

#include <windows.h>

#include "TestHarness.h"

namespace rover::test {

namespace {

const wchar_t kMarker[] = L".rover-mount";

void ReadFolder(const std::wstring& abs, const std::wstring& rel, TTree& tree) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((abs + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ReadFolder(abs + L"\\" + name, rel + name + L"\\", tree);
        } else {
            std::string bytes;
            ReadFileBytes(abs + L"\\" + name, bytes);
            tree[rel + name] = bytes;
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

} // namespace

bool DriveMounted(const std::wstring& drive) {
    return FileExists(drive + L"\\" + kMarker);
}

std::string MountSkipMessage(const std::wstring& drive) {
    std::string letter(1, static_cast<char>(drive[0]));
    return "drive " + letter +
           ": is not mounted (tests/copy/mounts.sh could not mount a tmpfs here; it needs root "
           "and mount rights)";
}

void ClearDrive(const std::wstring& drive) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((drive + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L".." || name == kMarker)
            continue;
        const std::wstring path = drive + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path);
        else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

bool WriteTree(const std::wstring& root, const TTree& tree) {
    for (const auto& file : tree) {
        const std::wstring path = root + L"\\" + file.first;
        const size_t slash = path.rfind(L'\\');
        if (!MakeDirs(path.substr(0, slash)) || !WriteFileBytes(path, file.second))
            return false;
    }
    return true;
}

TTree ReadTree(const std::wstring& root) {
    TTree tree;
    ReadFolder(root, L"", tree);
    return tree;
}

} // namespace rover::test
