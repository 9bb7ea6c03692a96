// The copy dialog: preparation, the copy loop with its helper thread, progress, errors and the
// finish.
#include "copy/rover_setup_copy.h"

#include <shellapi.h>

#include <climits>

#include "copy/Autorun.h"
#include "copy/CopyWorker.h"
#include "copy/CreateDir.h"
#include "resource.h"
#include "support/ClassesUtils.h"
#include "support/Utils.h"
#include "ui/Application.h"

namespace rover {

namespace {

constexpr DWORD kProgressInterval = 30; // ms; each new bar position repaints at once
const wchar_t kEmptyLine[] = L"\r\n\r\n";

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

TCopyProgressForm::TCopyProgressForm(TApplication& owner)
    : TForm(owner, IDD_COPY_PROGRESS), ProgressBar(Item(IDC_COPY_PROGRESSBAR)),
      lFileName(Item(IDC_COPY_FILENAME)), Animate(Item(IDC_COPY_ANIMATE)),
      SourceDir(DefaultSourceDir()) {
    // The base dispatches WM_INITDIALOG before this object exists, so the
    // layout is done here rather than in FormCreate.
    Layout();
}

TCopyProgressForm::~TCopyProgressForm() {
    worker_.reset();
    FreeListAndNil(FilesToCopy);
}

void TCopyProgressForm::Layout() {
    SetClientSize(323, 168);
    PlaceControl(IDC_COPY_ANIMATE, 24, 16, 272, 60);
    PlaceControl(IDC_COPY_FILENAME, 24, 96, 272, 13);
    PlaceControl(IDC_COPY_PROGRESSBAR, 24, 112, 273, 17);
    CenterOnScreen();
    ProgressBar.SetRange(0, 100);
    ProgressBar.SetPosition(0);
    lFileName.SetText(L" ");
    Animate.Open(Owner().Instance(), IDR_COPY_CLIP);
}

void TCopyProgressForm::FormActivate() {
    if (Activated)
        return;
    Activated = true;
    working_ = true;
    PostMessageW(Handle(), WM_PREPARE_COPY, 0, 0);
}

void TCopyProgressForm::FormClose(TCloseAction& action) {
    action = TCloseAction::Free;
    FreeListAndNil(FilesToCopy);
}

// The dialog has no buttons: Enter and Escape must not end it.
void TCopyProgressForm::Command(int, int, HWND) {}

// Closing mid-copy would destroy the dialog under the running loop, and the
// dialog ends with its own result anyway.
void TCopyProgressForm::CloseRequested() {}

INT_PTR TCopyProgressForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PREPARE_COPY:
        PrepareCopy();
        return TRUE;
    case WM_RUN_COPY:
        RunCopy();
        return TRUE;
    case WM_SHOWWINDOW:
        // The dialog manager activates the hidden dialog while it is being
        // created, before this object exists; the activation that follows a
        // show then never comes. Being shown while active counts as it.
        if (wParam && GetActiveWindow() == Handle())
            FormActivate();
        return TForm::HandleMessage(msg, wParam, lParam);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    default:
        return TForm::HandleMessage(msg, wParam, lParam);
    }
}

void TCopyProgressForm::PrepareCopy() {
    FreeListAndNil(FilesToCopy);
    FilesToCopy = new TCopyFileList;
    TotalSize = 0;
    ScanSourceFolder(SourceDir, L"\\", *FilesToCopy, TotalSize);
    // Steps of 1024 bytes, coarser only where the bar's 32-bit range would overflow.
    progressUnit_ = 1024;
    while (TotalSize / progressUnit_ > INT_MAX)
        progressUnit_ *= 2;
    ProgressBar.SetRange(0, static_cast<int>(TotalSize / progressUnit_));
    ProgressBar.SetPosition(0);
    lastPosition_ = 0;
    PostMessageW(Handle(), WM_RUN_COPY, 0, 0);
}

void TCopyProgressForm::ShowFileName(const std::wstring& text) {
    lFileName.SetText(text);
    UpdateWindow(lFileName.Handle());
}

void TCopyProgressForm::ShowProgress(std::int64_t bytes, bool force) {
    std::int64_t position = bytes / progressUnit_;
    const int maximum = ProgressBar.Max();
    if (position > maximum)
        position = maximum;
    if (position <= lastPosition_)
        return;
    const DWORD now = GetTickCount();
    if (!force && now - lastMove_ < kProgressInterval)
        return;
    ProgressBar.SetPosition(static_cast<int>(position));
    lastPosition_ = static_cast<int>(position);
    lastMove_ = now;
}

void TCopyProgressForm::WaitForCopy(std::int64_t copiedBefore) {
    HANDLE done = worker_->Done();
    if (done == nullptr)
        return; // the copy already ran on this thread
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjectsEx(1, &done, kProgressInterval, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0)
            return;
        if (wait == WAIT_OBJECT_0 + 1)
            Owner().ProcessMessages();
        else if (wait == WAIT_FAILED)
            WaitForSingleObject(done, INFINITE);
        // Where the system reports progress within a file, the bar follows it.
        ShowProgress(copiedBefore + worker_->BytesDone(), false);
    }
}

void TCopyProgressForm::StopAnimation() {
    Owner().SetScreenCursor(SavedCursor);
    Animate.Stop();
    Animate.Seek(0);
    Animate.SetVisible(false);
}

void TCopyProgressForm::Finish(int result) {
    worker_.reset();
    working_ = false;
    SetModalResult(result);
}

void TCopyProgressForm::RunCopy() {
    SavedCursor = Owner().ScreenCursor();
    Animate.Play(0, 33, -1); // the clip's frames 1 to 34, without end
    Owner().SetScreenCursor(LoadCursorW(nullptr, IDC_WAIT));

    const std::wstring source = SourceDir;
    if (EndsWith(DstDir, L"\\"))
        DstDir.pop_back();

    if (!CreateDirChain(DstDir)) {
        const DWORD code = GetLastError();
        StopAnimation();
        ErrorBox(L"Cannot install Kestrel Rover to " + Quoted(DstDir) + kEmptyLine +
                     Win32ErrorText(code),
                 Handle());
        Finish(IDRETRY);
        return;
    }

    worker_.reset(new TCopyWorker);
    std::int64_t copiedSize = 0;
    lastMove_ = GetTickCount();
    for (const TCopyFile* file : *FilesToCopy) {
        const std::wstring shownName = file->FileName.substr(1);
        const std::wstring target = DstDir + file->FileName;
        const std::wstring folder = FolderOf(target);
        if (!CreateDirChain(folder)) {
            const DWORD code = GetLastError();
            ShowFileName(shownName);
            StopAnimation();
            ErrorBox(L"Cannot create directory " + Quoted(folder) + kEmptyLine +
                         Win32ErrorText(code),
                     Handle());
            Finish(IDRETRY);
            return;
        }
        const std::wstring from = source + file->FileName;
        worker_->Begin(from, target, file->FailIfExists);
        // The window work overlaps the helper's copy.
        ShowFileName(shownName);
        ShowProgress(copiedSize, false);
        WaitForCopy(copiedSize);
        const TCopyResult result = worker_->Result();
        if (!result.Ok) {
            StopAnimation();
            ErrorBox(L"Cannot copy file " + Quoted(from) + L" to " + Quoted(target) + kEmptyLine +
                         Win32ErrorText(result.Error),
                     Handle());
            Finish(IDRETRY);
            return;
        }
        copiedSize += file->FileSize;
    }
    ShowProgress(copiedSize, true);
    worker_.reset();

    WriteAutorun();
    StopAnimation();
    ProgressBar.SetPosition(ProgressBar.Max());
    ShellExecuteW(Handle(), L"open", DstDir.c_str(), nullptr, DstDir.c_str(), SW_SHOW);
    Finish(IDOK);
}

void TCopyProgressForm::WriteAutorun() {
    const std::wstring drive = AutorunDrivePart(DstDir);
    const std::wstring path = JoinPath(drive, L"autorun.inf");
    if (AutorunFileExists(path))
        return;
    ShowFileName(path);
    const TAutorunOutcome outcome =
        WriteAutorunFile(path, AutorunBytes(DstDir.substr(drive.size())));
    if (outcome.Status == TAutorunStatus::Written)
        return;
    StopAnimation();
    if (outcome.Status == TAutorunStatus::CreateFailed)
        WarningBox(L"Cannot create file " + Quoted(path) + L". " + Win32ErrorText(outcome.Error),
                   Handle());
    else
        WarningBox(L"Stream write error", Handle());
}

int RunCopyDialog(TApplication& owner, const std::wstring& dstDir) {
    // Owned by the application; it releases itself once it has closed.
    auto* form = new TCopyProgressForm(owner);
    form->DstDir = dstDir;
    return form->ShowModal();
}

} // namespace rover
