// Runs the copy dialog for the documentation screenshots and pauses it where a picture is to be
// taken.
#include <windows.h>

#include <string>

#include "copy/rover_setup_copy.h"
#include "ui/Application.h"

using namespace rover;

namespace {

TCopyProgressForm* Form = nullptr;
std::wstring ShotDir;
bool MidTaken = false;

// Tells the script where the dialog is, then waits until it has its picture.
void Pause(const std::wstring& name, HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    char text[64];
    wsprintfA(text, "%d %d %d %d\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    const std::wstring ready = ShotDir + L"\\" + name + L".ready";
    HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
    CloseHandle(file);
    const std::wstring done = ShotDir + L"\\" + name + L".done";
    for (int i = 0; i < 300 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (Form == nullptr || MidTaken || !Form->Working())
        return;
    const int max = Form->ProgressBar.Max();
    if (max > 0 && Form->ProgressBar.Position() * 100 / max >= 40) {
        MidTaken = true;
        Pause(L"copy-dialog", Form->Handle());
    }
}

} // namespace

// copy_shot SOURCE DSTDIR SHOTDIR
int wmain(int argc, wchar_t** argv) {
    if (argc != 4)
        return 2;
    ShotDir = argv[3];
    TApplication app(GetModuleHandleW(nullptr));
    Application = &app;
    app.SetTitle(L"Kestrel Rover Setup");
    Form = new TCopyProgressForm(app);
    Form->SourceDir = argv[1];
    Form->DstDir = argv[2];
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &Tick);
    const HWND dialog = Form->Handle();
    const int result = Form->ShowModal();
    KillTimer(nullptr, timer);
    // The finished state: bar full, clip stopped and hidden, as the dialog closes.
    ShowWindow(dialog, SW_SHOWNA);
    UpdateWindow(dialog);
    const DWORD until = GetTickCount() + 500;
    while (GetTickCount() < until) {
        // Only the dialog's own messages: the application would destroy it now.
        MSG msg;
        while (PeekMessageW(&msg, dialog, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(20);
    }
    Pause(L"copy-finished", dialog);
    Form = nullptr;
    Application = nullptr;
    return result == IDOK ? 0 : 1;
}
