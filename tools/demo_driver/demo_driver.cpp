// Drives the setup through an installation onto drive R: for the headless demo, asking for a
// screenshot at each state it reaches.
//
// demo_driver.exe SHOTS_FOLDER
// For each state it writes SHOTS_FOLDER\<name>.ready and waits for <name>.taken, which the
// demo script creates once it has photographed the screen.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

std::wstring gShots;

HWND FindTopLevel(const wchar_t* caption, DWORD timeoutMs, DWORD pollMs = 100) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindWindowW(nullptr, caption);
        if (hwnd != nullptr && IsWindowVisible(hwnd))
            return hwnd;
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(pollMs);
    }
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Photograph(const wchar_t* name) {
    Sleep(400); // let the windows finish painting
    const std::wstring ready = gShots + L"\\" + name + L".ready";
    const std::wstring taken = gShots + L"\\" + name + L".taken";
    HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    for (int i = 0; i < 150 && !Exists(taken); ++i)
        Sleep(100);
}

// Freezes or thaws every thread of a process, so that a fast copy can be photographed.
void SuspendProcess(DWORD processId, bool suspend) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        if (suspend)
            SuspendThread(thread);
        else
            ResumeThread(thread);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

HWND ChildOfClass(HWND parent, const wchar_t* cls) {
    return FindWindowExW(parent, nullptr, cls, nullptr);
}

HWND ButtonWithText(HWND parent, const wchar_t* text) {
    return FindWindowExW(parent, nullptr, L"Button", text);
}

void Key(HWND target, UINT vk) {
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    Sleep(150);
}

} // namespace

int Drive();

// Tells the demo script that the driver has finished, whatever happened.
void MarkDone() {
    const std::wstring done = gShots + L"\\done";
    HANDLE file = CreateFileW(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    gShots = commandLine;
    while (!gShots.empty() && (gShots.back() == L' ' || gShots.back() == L'"'))
        gShots.pop_back();
    while (!gShots.empty() && (gShots.front() == L' ' || gShots.front() == L'"'))
        gShots.erase(0, 1);
    const int result = Drive();
    MarkDone();
    return result;
}

int Drive() {
    HWND drives = FindTopLevel(L"Kestrel Rover Installation - Select Drive To Install", 60000);
    if (drives == nullptr)
        return 1;
    HWND list = ChildOfClass(drives, L"SysListView32");
    for (int i = 0; i < 50 && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0; ++i)
        Sleep(100);
    Photograph(L"1-drive-dialog");

    // The rows stand in letter order, so R:'s row is the count of drives before it.
    const DWORD mask = GetLogicalDrives();
    int row = 0;
    for (int letter = 0; letter < 'R' - 'A'; ++letter)
        if (mask & (1u << letter))
            ++row;
    SetForegroundWindow(drives);
    PostMessageW(drives, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    Sleep(200);
    Key(list, VK_HOME);
    for (int i = 0; i < row; ++i)
        Key(list, VK_DOWN);
    Photograph(L"2-drive-chosen");

    HWND install = ButtonWithText(drives, L"Install");
    DWORD processId = 0;
    GetWindowThreadProcessId(drives, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageW(install, BM_CLICK, 0, 0);

    HWND copy = FindTopLevel(L"Installing Rover ", 30000, 5);
    if (copy != nullptr) {
        HWND label = nullptr;
        for (HWND child = GetWindow(copy, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[32] = {};
            GetClassNameW(child, cls, 32);
            if (lstrcmpiW(cls, L"Static") == 0)
                label = child;
        }
        for (int i = 0; i < 400 && label != nullptr; ++i) {
            wchar_t text[MAX_PATH] = {};
            GetWindowTextW(label, text, MAX_PATH);
            if (text[0] != L'\0' && lstrcmpW(text, L" ") != 0)
                break;
            Sleep(5);
        }
        SuspendProcess(processId, true);
        Photograph(L"3-copying");
        SuspendProcess(processId, false);
    }
    if (process != nullptr) {
        WaitForSingleObject(process, 60000);
        CloseHandle(process);
    }
    Sleep(2500); // the installed folder's window opens
    Photograph(L"4-finished");
    return 0;
}
