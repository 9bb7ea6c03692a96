// Times the setup's copy dialog against two plain loops over the same tree, and probes how
// long the dialog takes to answer a message; bench/copy_bench.sh runs it.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "copy/rover_setup_copy.h"
#include "ui/Application.h"

using namespace rover;

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One entry of a listed tree, relative to its root ("\d000\f00001.bin").
struct TEntry {
    std::wstring Path;
    bool Folder;
    std::int64_t Size;
};

// The plain loops list the tree themselves, so that they pay for a listing as the setup does,
// and they do not depend on how the setup lists it.
void ListTree(const std::wstring& root, const std::wstring& relative, std::vector<TEntry>& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> folders;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(name);
        } else {
            const std::int64_t size =
                (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            out.push_back({relative + name, false, size});
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring& folder : folders) {
        out.push_back({relative + folder, true, 0});
        ListTree(root, relative + folder + L"\\", out);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    return path.substr(0, path.rfind(L'\\'));
}

// The folder and its missing parents, checked first as the one-thread design does per file.
bool EnsureFolder(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    const size_t cut = folder.rfind(L'\\');
    if (cut != std::wstring::npos && cut > 2 && !EnsureFolder(folder.substr(0, cut)))
        return false;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void Report(const char* mode, size_t files, std::int64_t bytes, double seconds) {
    std::printf("%s files=%u bytes=%lld seconds=%.3f\n", mode, static_cast<unsigned>(files),
                static_cast<long long>(bytes), seconds);
}

// The least a copy can cost here: list the tree, make each folder once, CopyFileW each file.
int Bare(const std::wstring& source, const std::wstring& target) {
    const double start = Now();
    std::vector<TEntry> entries;
    ListTree(source, L"\\", entries);
    if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        std::printf("cannot make %ls: %lu\n", target.c_str(), GetLastError());
        return 1;
    }
    size_t files = 0;
    std::int64_t bytes = 0;
    for (const TEntry& e : entries) {
        const std::wstring to = target + e.Path;
        if (e.Folder) {
            if (!CreateDirectoryW(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                std::printf("cannot make %ls: %lu\n", to.c_str(), GetLastError());
                return 1;
            }
            continue;
        }
        if (!CopyFileW((source + e.Path).c_str(), to.c_str(), FALSE)) {
            std::printf("copy failed: %lu\n", GetLastError());
            return 1;
        }
        ++files;
        bytes += e.Size;
    }
    Report("bare", files, bytes, Now() - start);
    return 0;
}

void RunPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The one-thread design: per file, the name in a label painted at once, a folder check, the
// copy, the bar moved, then every pending message run. part "dirs", "label" or "label-text"
// keeps only that piece of the per-file work, to show what each one costs.
int OneThread(const std::wstring& source, const std::wstring& target, const std::wstring& part) {
    const bool label = part.empty() || part == L"label" || part == L"label-text";
    const bool paint = part.empty() || part == L"label";
    const bool folders = part.empty() || part == L"dirs";
    const bool bar = part.empty();
    const bool messages = part.empty();
    const double start = Now();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND window = CreateWindowExW(0, L"STATIC", L"one thread", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                  0, 0, 420, 140, nullptr, nullptr, instance, nullptr);
    HWND name = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 400, 20, window,
                                nullptr, instance, nullptr);
    HWND progress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 40, 400, 20,
                                    window, nullptr, instance, nullptr);
    std::vector<TEntry> entries;
    ListTree(source, L"\\", entries);
    std::int64_t total = 0;
    for (const TEntry& e : entries)
        total += e.Size;
    SendMessageW(progress, PBM_SETRANGE32, 0, static_cast<LPARAM>(total / 1024));
    if (!folders) {
        CreateDirectoryW(target.c_str(), nullptr);
        for (const TEntry& e : entries) {
            if (e.Folder)
                CreateDirectoryW((target + e.Path).c_str(), nullptr);
        }
    }
    size_t files = 0;
    std::int64_t copied = 0;
    for (const TEntry& e : entries) {
        if (e.Folder)
            continue;
        const std::wstring to = target + e.Path;
        if (label) {
            SetWindowTextW(name, e.Path.c_str() + 1);
            if (paint)
                UpdateWindow(name);
        }
        if (folders && !EnsureFolder(FolderOf(to))) {
            std::printf("cannot make %ls: %lu\n", FolderOf(to).c_str(), GetLastError());
            return 1;
        }
        if (!CopyFileW((source + e.Path).c_str(), to.c_str(), FALSE)) {
            std::printf("copy failed: %lu\n", GetLastError());
            return 1;
        }
        copied += e.Size;
        ++files;
        if (bar)
            SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(copied / 1024), 0);
        if (messages)
            RunPendingMessages();
    }
    DestroyWindow(window);
    const double seconds = Now() - start;
    Report(part.empty() ? "one-thread" : "part", files, copied, seconds);
    return 0;
}

// The real copy dialog, created and shown as the install loop does; nothing is sent to it.
int Setup(const std::wstring& source, const std::wstring& target) {
    TApplication app(GetModuleHandleW(nullptr));
    Application = &app;
    auto* form = new TCopyProgressForm(app);
    form->SourceDir = source;
    form->DstDir = target;
    const double start = Now();
    const int result = form->ShowModal();
    const double seconds = Now() - start;
    // The dialog releases itself once closed.
    app.ProcessMessages();
    Application = nullptr;
    std::printf("setup result=%d seconds=%.3f\n", result, seconds);
    return result == IDOK ? 0 : 1;
}

struct TFoundDialog {
    const wchar_t* Caption;
    HWND Window;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lParam) {
    auto* find = reinterpret_cast<TFoundDialog*>(lParam);
    wchar_t cls[16] = {};
    wchar_t text[256] = {};
    GetClassNameW(hwnd, cls, 16);
    GetWindowTextW(hwnd, text, 256);
    if (lstrcmpW(cls, L"#32770") == 0 && lstrcmpW(text, find->Caption) == 0 &&
        IsWindowVisible(hwnd)) {
        find->Window = hwnd;
        return FALSE;
    }
    return TRUE;
}

// From another process, as the system judges a window "Not Responding": from the moment the
// dialog shows until it is gone, send WM_NULL every 5 ms and keep the longest wait for an answer.
int Probe(const std::wstring& caption, DWORD waitMs) {
    TFoundDialog find = {caption.c_str(), nullptr};
    const DWORD begin = GetTickCount();
    while (find.Window == nullptr) {
        EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&find));
        if (find.Window != nullptr)
            break;
        if (GetTickCount() - begin > waitMs) {
            std::printf("probe found no dialog \"%ls\"\n", caption.c_str());
            return 1;
        }
        Sleep(1);
    }
    double longest = 0;
    unsigned answers = 0;
    double next = Now();
    for (;;) {
        DWORD_PTR reply = 0;
        const double sent = Now();
        const bool answered =
            SendMessageTimeoutW(find.Window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &reply) != 0;
        // A wait that ends because the dialog went away was still a wait without an answer.
        const double waited = Now() - sent;
        if (waited > longest)
            longest = waited;
        if (!answered || !IsWindowVisible(find.Window))
            break;
        ++answers;
        next += 0.005;
        const double now = Now();
        if (next < now)
            next = now;
        while (Now() < next)
            Sleep(1);
    }
    std::printf("probe answers=%u longest_ms=%.1f\n", answers, longest * 1000.0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc == 4 && mode == L"bare")
        return Bare(argv[2], argv[3]);
    if (argc == 4 && mode == L"one-thread")
        return OneThread(argv[2], argv[3], std::wstring());
    if (argc == 5 && mode == L"part")
        return OneThread(argv[2], argv[3], argv[4]);
    if (argc == 4 && mode == L"setup")
        return Setup(argv[2], argv[3]);
    if (argc == 4 && mode == L"probe")
        return Probe(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    std::printf("usage: copy_bench bare|one-thread|setup SOURCE TARGET\n"
                "       copy_bench part SOURCE TARGET dirs|label|label-text\n"
                "       copy_bench probe CAPTION WAIT_MS\n");
    return 2;
}
