// Times the setup's copy dialog against a bare CopyFileW loop over the same list, and measures the
// longest message-loop gap.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "copy/CopyWorker.h"
#include "copy/CreateDir.h"
#include "copy/SourceList.h"
#include "copy/rover_setup_copy.h"
#include "support/ClassesUtils.h"
#include "ui/Application.h"

using namespace rover;

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

TCopyProgressForm* Form = nullptr;
double LastTick = 0;
double LongestGap = 0;

// Runs from the dialog thread's message loop; a late tick means the loop did not run.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    const double now = Now();
    if (Form != nullptr && Form->Working() && LastTick > 0 && now - LastTick > LongestGap)
        LongestGap = now - LastTick;
    LastTick = now;
}

// The files to copy, with every target folder already made, so that the
// timed loops measure the copies alone.
TCopyFileList* ListWithFoldersMade(const std::wstring& source, const std::wstring& target,
                                   std::int64_t& total) {
    auto* list = new TCopyFileList;
    ScanSourceFolder(source, L"\\", *list, total);
    std::set<std::wstring> folders;
    for (const TCopyFile* f : *list) {
        const std::wstring path = target + f->FileName;
        folders.insert(path.substr(0, path.rfind(L'\\')));
    }
    for (const std::wstring& folder : folders)
        CreateDirChain(folder);
    return list;
}

int Bare(const std::wstring& source, const std::wstring& target) {
    std::int64_t total = 0;
    TCopyFileList* list = ListWithFoldersMade(source, target, total);
    const double start = Now();
    for (const TCopyFile* f : *list) {
        if (!CopyFileW((source + f->FileName).c_str(), (target + f->FileName).c_str(),
                       f->FailIfExists)) {
            std::printf("copy failed: %lu\n", GetLastError());
            return 1;
        }
    }
    const double seconds = Now() - start;
    std::printf("bare files=%u bytes=%lld seconds=%.3f\n", static_cast<unsigned>(list->size()),
                static_cast<long long>(total), seconds);
    FreeListAndNil(list);
    return 0;
}

// Where the setup's time goes: the bare loop plus one piece of its per-file work at a time.
int Breakdown(const std::wstring& source, const std::wstring& target, const std::wstring& part) {
    std::int64_t total = 0;
    TCopyFileList* list = ListWithFoldersMade(source, target, total);
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 20, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    const double start = Now();
    for (const TCopyFile* f : *list) {
        if (part == L"thread")
            break;
        const std::wstring from = source + f->FileName, to = target + f->FileName;
        if (part == L"dirs")
            CreateDirChain(to.substr(0, to.rfind(L'\\')));
        if (part == L"label" || part == L"label-text") {
            SetWindowTextW(label, f->FileName.c_str());
            if (part == L"label")
                UpdateWindow(label);
        }
        CopyFileW(from.c_str(), to.c_str(), FALSE);
    }
    if (part == L"thread") {
        std::vector<TCopyJob> jobs;
        for (const TCopyFile* f : *list) {
            const std::wstring to = target + f->FileName;
            jobs.push_back({source + f->FileName, to, to.substr(0, to.rfind(L'\\')), false});
        }
        TCopyWorker worker(jobs);
        while (!worker.Finished())
            WaitForSingleObject(worker.Signal(), 30);
    }
    std::printf("%ls seconds=%.3f\n", part.c_str(), Now() - start);
    DestroyWindow(label);
    FreeListAndNil(list);
    return 0;
}

int Setup(const std::wstring& source, const std::wstring& target) {
    TApplication app(GetModuleHandleW(nullptr));
    Application = &app;
    Form = new TCopyProgressForm(app);
    Form->SourceDir = source;
    Form->DstDir = target;
    const UINT_PTR timer = SetTimer(nullptr, 0, 5, &Tick);
    const double start = Now();
    const int result = Form->ShowModal();
    const double seconds = Now() - start;
    KillTimer(nullptr, timer);
    Form = nullptr;
    app.ProcessMessages();
    Application = nullptr;
    std::printf("setup result=%d seconds=%.3f longest_gap_ms=%.1f\n", result, seconds,
                LongestGap * 1000.0);
    return result == IDOK ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"breakdown")
        return Breakdown(argv[2], argv[3], argv[4]);
    if (argc != 4) {
        std::printf("usage: copy_bench bare|setup SOURCE TARGET\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    if (mode == L"bare")
        return Bare(argv[2], argv[3]);
    if (mode == L"setup")
        return Setup(argv[2], argv[3]);
    return 2;
}
