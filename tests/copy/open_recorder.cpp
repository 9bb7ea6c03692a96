// Stands in for the shell's folder window in tests: records which folder was opened, and from
// where.
#include <windows.h>
#include <shellapi.h>

#include <string>

// Appends "<folder>|<working folder>" and CR LF, in UTF-8, to the file that
// ROVER_OPEN_LOG names; without that variable it records nothing.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t logPath[MAX_PATH];
    if (GetEnvironmentVariableW(L"ROVER_OPEN_LOG", logPath, MAX_PATH) == 0)
        return 1;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring line = argv != nullptr && argc > 1 ? argv[1] : L"";
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    line += L"|";
    line += cwd;
    line += L"\r\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size,
                        nullptr, nullptr);
    HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
