// The copy dialog: preparation, the copy loop with its helper thread, progress, errors and the
// finish.
#include "copy/rover_setup_copy.h"

#include <shellapi.h>

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
    : TForm(owner, IDD_COPY_PROGRESS), SourceDir(DefaultSourceDir()) {
    Handle(); // the window and its controls are ready once constructed
}

TCopyProgressForm::~TCopyProgressForm() {
    worker_.reset();
    FreeListAndNil(FilesToCopy);
}

void TCopyProgressForm::FormCreate() {
    ProgressBar = TProgressBar(Item(IDC_COPY_PROGRESSBAR));
    lFileName = TControl(Item(IDC_COPY_FILENAME));
    Animate = TAnimate(Item(IDC_COPY_ANIMATE));
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
    ScanSourceFolder(SourceDir, L"\\", *FilesToCopy, TotalSize, nullptr, DstDir);
    // Steps of 1024 bytes, coarser only where the bar's 32-bit range would overflow.
    progressUnit_ = ProgressUnit(TotalSize);
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

void TCopyProgressForm::WaitForFiles(size_t count, const std::vector<std::int64_t>& copiedBefore) {
    for (;;) {
        if (worker_->DoneCount() >= count || worker_->Finished()) {
            // The helper is ahead: the window is still serviced between files.
            if (GetTickCount() - lastPump_ >= kProgressInterval) {
                Owner().ProcessMessages();
                lastPump_ = GetTickCount();
            }
            return;
        }
        if (worker_->ArmSignal(count)) {
            HANDLE signal = worker_->Signal();
            const DWORD wait = MsgWaitForMultipleObjectsEx(1, &signal, kProgressInterval,
                                                           QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (wait == WAIT_OBJECT_0 + 1) {
                Owner().ProcessMessages();
                lastPump_ = GetTickCount();
            } else if (wait == WAIT_FAILED)
                Sleep(1); // keeps following the helper by its counter, without spinning
        }
        // Where the system reports progress within a file, the bar follows it.
        const size_t done = worker_->DoneCount();
        ShowProgress(copiedBefore[done] + worker_->BytesInFile(), false);
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

    // The helper copies the files in order and stops at the first failure;
    // this thread follows it file by file with the label and the bar.
    const TCopyFileList& files = *FilesToCopy;
    std::vector<TCopyJob> jobs(files.size());
    std::vector<std::int64_t> copiedBefore(files.size() + 1, 0);
    for (size_t i = 0; i < files.size(); ++i) {
        jobs[i].Source = source + files[i]->FileName;
        jobs[i].Target = DstDir + files[i]->FileName;
        jobs[i].Folder = FolderOf(jobs[i].Target);
        jobs[i].FailIfExists = files[i]->FailIfExists;
        copiedBefore[i + 1] = copiedBefore[i] + files[i]->FileSize;
    }
    lastMove_ = GetTickCount();
    lastPump_ = lastMove_;
    worker_.reset(new TCopyWorker(jobs));
    for (size_t i = 0; i < files.size(); ++i) {
        // Once the files before it are done, the helper is on this one.
        WaitForFiles(i, copiedBefore);
        if (worker_->Finished() && worker_->Failure().Stage != TCopyStage::None &&
            worker_->Failure().Index < i)
            break;
        ShowFileName(files[i]->FileName.substr(1));
        ShowProgress(copiedBefore[i], false);
    }
    WaitForFiles(files.size(), copiedBefore);
    const TCopyFailure failure = worker_->Failure();
    worker_.reset();
    if (failure.Stage == TCopyStage::Folder) {
        StopAnimation();
        ErrorBox(L"Cannot create directory " + Quoted(jobs[failure.Index].Folder) + kEmptyLine +
                     Win32ErrorText(failure.Error),
                 Handle());
        Finish(IDRETRY);
        return;
    }
    if (failure.Stage == TCopyStage::Copy) {
        StopAnimation();
        ErrorBox(L"Cannot copy file " + Quoted(jobs[failure.Index].Source) + L" to " +
                     Quoted(jobs[failure.Index].Target) + kEmptyLine +
                     Win32ErrorText(failure.Error),
                 Handle());
        Finish(IDRETRY);
        return;
    }
    ShowProgress(copiedBefore.back(), true);

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
