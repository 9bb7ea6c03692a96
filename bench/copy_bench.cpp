// Times the setup's copy dialog against a bare CopyFileW loop over the same list, and measures the
// longest message-loop gap.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

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

int Bare(const std::wstring& source, const std::wstring& target) {
    TCopyFileList* list = new TCopyFileList;
    std::int64_t total = 0;
    ScanSourceFolder(source, L"\\", *list, total);
    std::set<std::wstring> folders;
    for (const TCopyFile* f : *list)
        folders.insert((target + f->FileName).substr(0, (target + f->FileName).rfind(L'\\')));
    for (const std::wstring& folder : folders)
        CreateDirChain(folder);
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
