// Test helpers: answering real message boxes, pumping messages, paths, folders and processes.
#include "TestHarness.h"

#include <algorithm>
#include <cstdio>

namespace rover::test {

namespace {

thread_local TBoxAnswerer* tCurrentAnswerer = nullptr;

BOOL CALLBACK CollectButton(HWND child, LPARAM lParam) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child))
        reinterpret_cast<std::vector<int>*>(lParam)->push_back(GetDlgCtrlID(child));
    return TRUE;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

bool IsBoxWindow(HWND hwnd) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0 && GetDlgItem(hwnd, 0xFFFF) != nullptr;
}

} // namespace

TSeenBox ReadBox(HWND box) {
    TSeenBox seen;
    seen.Caption = WindowText(box);
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);
    seen.Text = text;
    EnumChildWindows(box, &CollectButton, reinterpret_cast<LPARAM>(&seen.Buttons));
    seen.Owner = GetWindow(box, GW_OWNER);
    seen.HasOwner = seen.Owner != nullptr;
    return seen;
}

void PressBoxButton(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

TBoxAnswerer::TBoxAnswerer(std::deque<int> answers) : answers_(std::move(answers)) {
    previous_ = tCurrentAnswerer;
    tCurrentAnswerer = this;
    hook_ = SetWindowsHookExW(WH_CBT, &TBoxAnswerer::Hook, nullptr, GetCurrentThreadId());
}

TBoxAnswerer::~TBoxAnswerer() {
    if (timer_ != 0)
        KillTimer(nullptr, timer_);
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
    tCurrentAnswerer = previous_;
}

// A box without an owner can be activated before its dialog procedure has
// filled it in, so the box is read and answered from a timer that runs in
// its own modal loop once it is on screen.
void CALLBACK TBoxAnswerer::AnswerLater(HWND, UINT, UINT_PTR timer, DWORD) {
    TBoxAnswerer* self = tCurrentAnswerer;
    if (self == nullptr || self->pending_.empty()) {
        KillTimer(nullptr, timer);
        return;
    }
    HWND box = self->pending_.front();
    if (!IsWindow(box)) {
        self->pending_.pop_front();
        return;
    }
    if (!IsWindowVisible(box))
        return;
    self->pending_.pop_front();
    if (self->pending_.empty()) {
        KillTimer(nullptr, timer);
        self->timer_ = 0;
    }
    self->boxes_.push_back(ReadBox(box));
    if (self->OnShow)
        self->OnShow(box);
    int button = 0;
    if (!self->answers_.empty()) {
        button = self->answers_.front();
        self->answers_.pop_front();
    } else if (!self->boxes_.back().Buttons.empty()) {
        button = self->boxes_.back().Buttons.front();
    }
    PressBoxButton(box, button);
}

LRESULT CALLBACK TBoxAnswerer::Hook(int code, WPARAM wParam, LPARAM lParam) {
    TBoxAnswerer* self = tCurrentAnswerer;
    if (code == HCBT_ACTIVATE && self != nullptr) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (lstrcmpW(cls, L"#32770") == 0 && GetDlgItem(hwnd, 0xFFFF) != nullptr &&
            std::find(self->pending_.begin(), self->pending_.end(), hwnd) == self->pending_.end()) {
            self->pending_.push_back(hwnd);
            if (self->timer_ == 0)
                self->timer_ = SetTimer(nullptr, 0, 10, &TBoxAnswerer::AnswerLater);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

namespace {

struct FindWindowData {
    DWORD ProcessId;
    bool BoxesOnly;
    HWND Found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindWindowData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == data->ProcessId && IsWindowVisible(hwnd) &&
        (!data->BoxesOnly || IsBoxWindow(hwnd))) {
        data->Found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD processId, bool boxesOnly, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        FindWindowData data = {processId, boxesOnly, nullptr};
        EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&data));
        if (data.Found != nullptr)
            return data.Found;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        PumpMessages(20);
    }
}

} // namespace

HWND WaitForBoxOfProcess(DWORD processId, DWORD timeoutMs) {
    return WaitForWindow(processId, true, timeoutMs);
}

HWND WaitForWindowOfProcess(DWORD processId, DWORD timeoutMs) {
    return WaitForWindow(processId, false, timeoutMs);
}

void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return done();
        PumpMessages(10);
    }
    return true;
}

std::wstring UnixToWindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring BuildDir() {
    return UnixToWindowsPath(ROVER_BUILD_DIR);
}
std::wstring SourceDir() {
    return UnixToWindowsPath(ROVER_SOURCE_DIR);
}
std::wstring BuildPath(const std::wstring& relative) {
    return BuildDir() + L"\\" + relative;
}

std::wstring ClosedFolderFixture() {
    wchar_t fixture[MAX_PATH] = {};
    const DWORD got = GetEnvironmentVariableW(L"ROVER_CLOSED_FIXTURE", fixture, MAX_PATH);
    return got > 0 && got < MAX_PATH ? std::wstring(fixture) : std::wstring();
}

TTempDir::TTempDir(const std::wstring& tag) {
    static LONG counter = 0;
    // A run as another user (tests/copy/unprivileged.sh) names a folder of its own.
    wchar_t given[MAX_PATH] = {};
    const DWORD got = GetEnvironmentVariableW(L"ROVER_TEST_TMP", given, MAX_PATH);
    const std::wstring root = got > 0 && got < MAX_PATH ? std::wstring(given) : BuildPath(L"tmp");
    CreateDirectoryW(root.c_str(), nullptr);
    wchar_t name[64];
    swprintf(name, 64, L"%ls-%lu-%ld", tag.c_str(), GetCurrentProcessId(),
             InterlockedIncrement(&counter));
    path_ = root + L"\\" + name;
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TTempDir::~TTempDir() {
    RemoveTree(path_);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                               &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return ok;
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
    const DWORD first = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(path.c_str(), first != 0 ? first : FILE_ATTRIBUTE_NORMAL) &&
           SetFileAttributesW(path.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

bool MakeDirs(const std::wstring& path) {
    if (DirExists(path))
        return true;
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2)
        MakeDirs(path.substr(0, slash));
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE || DirExists(path);
}

bool RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(path.c_str()) != FALSE;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool FileExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TProcess::~TProcess() {
    Kill();
    if (pi_.hThread != nullptr)
        CloseHandle(pi_.hThread);
    if (pi_.hProcess != nullptr)
        CloseHandle(pi_.hProcess);
}

bool TProcess::Start(const std::wstring& commandLine, const std::wstring& workDir) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring line = commandLine;
    return CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi_) != FALSE;
}

DWORD TProcess::Wait(DWORD timeoutMs) {
    if (pi_.hProcess == nullptr)
        return STILL_ACTIVE;
    if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

bool TProcess::Running() const {
    return pi_.hProcess != nullptr && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

void TProcess::Kill() {
    if (Running()) {
        TerminateProcess(pi_.hProcess, 1);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
}

std::wstring StandInClientPath() {
    return BuildPath(L"standin\\rover.exe");
}
std::wstring SetupExePath() {
    return BuildPath(L"rover_setup.exe");
}

bool TStandInClient::Start() {
    static LONG counter = 0;
    wchar_t name[64];
    swprintf(name, 64, L"RoverStandInQuit-%lu-%ld", GetCurrentProcessId(),
             InterlockedIncrement(&counter));
    quitEvent_ = name;
    if (!process_.Start(L"\"" + StandInClientPath() + L"\" /quit-event " + quitEvent_))
        return false;
    return PumpUntil(
        [] {
            HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, L"Rover mailer ready mutex");
            if (m == nullptr)
                return false;
            CloseHandle(m);
            return true;
        },
        10000);
}

void TStandInClient::Stop() {
    if (!process_.Running())
        return;
    HANDLE quit = OpenEventW(EVENT_MODIFY_STATE, FALSE, quitEvent_.c_str());
    if (quit != nullptr) {
        SetEvent(quit);
        CloseHandle(quit);
    }
    if (process_.Wait(10000) == STILL_ACTIVE)
        process_.Kill();
}

} // namespace rover::test
