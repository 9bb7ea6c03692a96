// The copy dialog: preparation, the copy loop with its helper thread, progress, errors and the
// finish.
#include "copy/rover_setup_copy.h"

#include <objbase.h>
#include <process.h>
#include <shellapi.h>

#include "copy/Autorun.h"
#include "copy/CopyWorker.h"
#include "copy/CreateDir.h"
#include "copy/RoomCheck.h"
#include "destination/DriveInventory.h"
#include "resource.h"
#include "support/ClassesUtils.h"
#include "support/DebugLog.h"
#include "support/Utils.h"
#include "ui/Application.h"

namespace rover {

namespace {

constexpr DWORD kProgressInterval = 30; // ms; each new bar position repaints at once
const wchar_t kEmptyLine[] = L"\r\n\r\n";
// Marks the dialog's own posts: WM_USER+1 and WM_USER+2 are also DM_SETDEFID
// and DM_REPOSITION, which the dialog manager and others send.
constexpr WPARAM kOwnPostCookie = 0x52765370;
// The clip's own size; the control shows it unscaled.
constexpr int kClipWidth = 272;
constexpr int kClipHeight = 60;

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

struct TShellOpen {
    HWND Owner;
    std::wstring Folder;
};

// The shell may hand the verb to an extension through COM or to a running
// Explorer through DDE, which can take a while; on a thread of its own the
// dialog keeps answering meanwhile. The thread sets up COM for the shell and
// waits for the conversation to end before it ends itself.
unsigned __stdcall OpenInShell(void* data) {
    const TShellOpen& open = *static_cast<const TShellOpen*>(data);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = open.Owner;
    info.lpVerb = L"open";
    info.lpFile = open.Folder.c_str();
    info.lpDirectory = open.Folder.c_str();
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info); // its result is not examined: the installation is done
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

} // namespace

RECT ClipPlace(const RECT& frame, int clipWidth, int clipHeight) {
    RECT place;
    place.left = frame.left + (frame.right - frame.left - clipWidth) / 2;
    place.top = frame.top + (frame.bottom - frame.top - clipHeight) / 2;
    place.right = place.left + clipWidth;
    place.bottom = place.top + clipHeight;
    return place;
}

TCopyProgressForm::TCopyProgressForm(TApplication& owner)
    : TForm(owner, IDD_COPY_PROGRESS), SourceDir(DefaultSourceDir()), Scan(&ScanSourceFolder) {
    Handle(); // the window and its controls are ready once constructed
}

TCopyProgressForm::~TCopyProgressForm() {
    worker_.reset();
    FreeListAndNil(prepared_.Files);
    FreeListAndNil(FilesToCopy);
}

void TCopyProgressForm::FormCreate() {
    ProgressBar = TProgressBar(Item(IDC_COPY_PROGRESSBAR));
    lFileName = TControl(Item(IDC_COPY_FILENAME));
    Animate = TAnimate(Item(IDC_COPY_ANIMATE));
    SetClientSize(323, 168);
    PlaceControl(IDC_COPY_FILENAME, 24, 96, 272, 13);
    PlaceControl(IDC_COPY_PROGRESSBAR, 24, 112, 273, 17);
    CenterOnScreen();
    ProgressBar.SetRange(0, 100);
    ProgressBar.SetPosition(0);
    lFileName.SetText(L" ");
    Animate.Open(Owner().Instance(), IDR_COPY_CLIP);
    // The frame scales with the DPI, the clip does not: it sits in the frame's
    // middle, at its own size, whatever the control made of itself on opening.
    const RECT frame = {Scale(24), Scale(16), Scale(24) + Scale(272), Scale(16) + Scale(60)};
    const RECT clip = ClipPlace(frame, kClipWidth, kClipHeight);
    SetWindowPos(Animate.Handle(), nullptr, clip.left, clip.top, clip.right - clip.left,
                 clip.bottom - clip.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCopyProgressForm::FormActivate() {
    if (Activated)
        return;
    Activated = true;
    working_ = true;
    PostStep(WM_PREPARE_COPY, TStep::PreparePosted);
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

bool TCopyProgressForm::OwnPost(WPARAM wParam, LPARAM lParam) const {
    return wParam == kOwnPostCookie && lParam == reinterpret_cast<LPARAM>(this);
}

void TCopyProgressForm::PostStep(UINT msg, TStep step) {
    step_ = step;
    PostMessageW(Handle(), msg, kOwnPostCookie, reinterpret_cast<LPARAM>(this));
}

INT_PTR TCopyProgressForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PREPARE_COPY:
        // Each step runs once, in order, and only for the dialog's own post.
        if (step_ == TStep::PreparePosted && OwnPost(wParam, lParam)) {
            step_ = TStep::Preparing;
            RunStep(&TCopyProgressForm::PrepareCopy);
            return TRUE;
        }
        break;
    case WM_RUN_COPY:
        if (step_ == TStep::CopyPosted && OwnPost(wParam, lParam)) {
            step_ = TStep::Copying;
            RunStep(&TCopyProgressForm::RunCopy);
            return TRUE;
        }
        break;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    default:
        break;
    }
    return TForm::HandleMessage(msg, wParam, lParam);
}

void TCopyProgressForm::RunStep(void (TCopyProgressForm::*step)()) {
    DWORD code = ERROR_INTERNAL_ERROR;
    try {
        (this->*step)();
        return;
    } catch (const std::exception& e) {
        LogException(L"rover_setup_copy", L"Step", e);
        code = ExceptionErrorCode(std::current_exception());
    } catch (...) {
    }
    // A dialog whose step failed this way would wait for ever, with no button
    // to end it.
    try {
        worker_.reset();
        Fail(L"Cannot install Kestrel Rover to " + Quoted(DstDir) + kEmptyLine +
             Win32ErrorText(code));
    } catch (...) {
        Finish(IDRETRY);
    }
}

void TCopyProgressForm::PrepareCopy() {
    if (EndsWith(DstDir, L"\\"))
        DstDir.pop_back();
    FreeListAndNil(FilesToCopy);
    FreeListAndNil(prepared_.Files);
    prepared_ = TPreparation();
    prepared_.Files = new TCopyFileList;
    TotalSize = 0;

    // The listing and the sizes of the targets run on the helper, so that a
    // slow drive or a big tree never keeps this window from answering.
    const std::wstring source = SourceDir;
    const std::wstring destination = DstDir;
    const TScanFunction scan = Scan;
    TPreparation& out = prepared_;
    worker_.reset(new TCopyWorker([source, destination, scan, &out] {
        out.ScanOk = scan(source, L"\\", *out.Files, out.TotalSize, &out.ScanFailure, destination);
        if (!out.ScanOk)
            return;
        out.Needed = BytesNeeded(*out.Files, destination);
        out.FreeKnown = FreeSpaceOf(destination, out.FreeBytes);
    }));
    lastPump_ = GetTickCount();
    ServeUntil([this] { return worker_->Prepared(); }, nullptr);

    FilesToCopy = prepared_.Files;
    prepared_.Files = nullptr;
    TotalSize = prepared_.TotalSize;
    if (worker_->Finished()) {
        const DWORD code = worker_->Failure().Error;
        Fail(L"Cannot install Kestrel Rover to " + Quoted(DstDir) + kEmptyLine +
             Win32ErrorText(code));
        return;
    }
    if (!prepared_.ScanOk) {
        Fail(L"Cannot read folder " + Quoted(prepared_.ScanFailure.Folder) + kEmptyLine +
             Win32ErrorText(prepared_.ScanFailure.Error));
        return;
    }
    if (prepared_.FreeKnown) {
        const std::uint64_t missing = MissingRoom(prepared_.Needed, prepared_.FreeBytes);
        if (missing != 0) {
            Fail(L"Not enough free space on " + AutorunDrivePart(DstDir) + kEmptyLine +
                 L"Kestrel Rover needs " + FormatSize(static_cast<long long>(missing)) + L" more.");
            return;
        }
    }

    // Steps of 1024 bytes, coarser only where the bar's 32-bit range would overflow.
    progressUnit_ = ProgressUnit(TotalSize);
    ProgressBar.SetRange(0, static_cast<int>(TotalSize / progressUnit_));
    ProgressBar.SetPosition(0);
    lastPosition_ = 0;
    PostStep(WM_RUN_COPY, TStep::CopyPosted);
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

void TCopyProgressForm::ServeUntil(const std::function<bool()>& ready,
                                   const std::function<void()>& between) {
    for (;;) {
        if (ready() || worker_->Finished()) {
            // The helper is ahead: the window is still serviced between files.
            if (GetTickCount() - lastPump_ >= kProgressInterval) {
                Owner().ProcessMessages();
                lastPump_ = GetTickCount();
            }
            return;
        }
        worker_->ArmSignal();
        // Checked again after arming: the helper may have got there meanwhile.
        if (!ready() && !worker_->Finished())
            WaitServing(worker_->Signal(), kProgressInterval);
        if (between)
            between();
    }
}

DWORD TCopyProgressForm::WaitServing(HANDLE handle, DWORD timeout) {
    const DWORD wait =
        MsgWaitForMultipleObjectsEx(1, &handle, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (wait == WAIT_OBJECT_0 + 1) {
        Owner().ProcessMessages();
        lastPump_ = GetTickCount();
    } else if (wait == WAIT_FAILED) {
        Sleep(1); // the callers follow the helper by its state: no spinning
    }
    return wait;
}

void TCopyProgressForm::FollowCopy(const std::function<void()>& show) {
    // Not armed for each file: waking this thread file by file would cost the
    // helper a call to the system on every file. It wakes this thread when it
    // ends; meanwhile this thread looks at it every ~30 ms, and at once when
    // messages arrive.
    while (!worker_->Finished()) {
        WaitServing(worker_->Signal(), kProgressInterval);
        show();
    }
    show();
}

void TCopyProgressForm::StopAnimation() {
    if (animating_) {
        Owner().SetScreenCursor(SavedCursor);
        animating_ = false;
    }
    Animate.Stop();
    Animate.Seek(0);
    Animate.SetVisible(false);
}

void TCopyProgressForm::Finish(int result) {
    worker_.reset();
    working_ = false;
    step_ = TStep::Ended;
    SetModalResult(result);
}

void TCopyProgressForm::Fail(const std::wstring& text) {
    StopAnimation();
    ErrorBox(text, Handle());
    Finish(IDRETRY);
}

void TCopyProgressForm::RunCopy() {
    SavedCursor = Owner().ScreenCursor();
    animating_ = true;
    Animate.Play(0, 33, -1); // the clip's frames 1 to 34, without end
    Owner().SetScreenCursor(LoadCursorW(nullptr, IDC_WAIT));

    // The helper makes the destination folder, then copies the files in
    // order and stops at the first failure; this thread follows it file by
    // file with the label and the bar.
    const std::wstring source = SourceDir;
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
    worker_->Copy(DstDir, std::move(jobs));
    ServeUntil([this] { return worker_->DestinationMade(); }, nullptr);

    // The label names the file the helper is on and the bar counts the bytes
    // done, both brought up to date at most every ~30 ms. Each update is a
    // request to the window system that the helper's copies wait behind, so
    // with small files a label for every file would cost more than the copy.
    size_t shown = files.size();
    DWORD lastLabel = 0;
    const auto follow = [&](bool now) {
        const size_t done = worker_->DoneCount();
        const size_t current = done < files.size() ? done : files.size() - 1;
        if (!files.empty() && current != shown &&
            (now || GetTickCount() - lastLabel >= kProgressInterval)) {
            ShowFileName(files[current]->FileName.substr(1));
            shown = current;
            lastLabel = GetTickCount();
        }
        ShowProgress(copiedBefore[done] + worker_->BytesInFile(), false);
    };
    if (worker_->DestinationMade()) {
        follow(true);
        FollowCopy([&] { follow(false); });
        // The file that failed is the one the label names while the box is open.
        follow(true);
    }

    const TCopyFailure failure = worker_->Failure();
    switch (failure.Stage) {
    case TCopyStage::None:
        break;
    case TCopyStage::Destination:
    case TCopyStage::Exception:
        Fail(L"Cannot install Kestrel Rover to " + Quoted(DstDir) + kEmptyLine +
             Win32ErrorText(failure.Error));
        return;
    case TCopyStage::Folder:
        Fail(L"Cannot create directory " + Quoted(worker_->Job(failure.Index).Folder) + kEmptyLine +
             Win32ErrorText(failure.Error));
        return;
    case TCopyStage::Copy:
        Fail(L"Cannot copy file " + Quoted(worker_->Job(failure.Index).Source) + L" to " +
             Quoted(worker_->Job(failure.Index).Target) + kEmptyLine +
             Win32ErrorText(failure.Error));
        return;
    }
    worker_.reset();
    ShowProgress(copiedBefore.back(), true);

    WriteAutorun();
    StopAnimation();
    ProgressBar.SetPosition(ProgressBar.Max());
    OpenDestination();
    Finish(IDOK);
}

void TCopyProgressForm::OpenDestination() {
    TShellOpen open = {Handle(), DstDir};
    TKernelHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &OpenInShell, &open, 0, nullptr)));
    if (!thread) {
        OpenInShell(&open);
        return;
    }
    // `open` must outlive the thread, whatever the waits make of it.
    while (WaitServing(thread.Get(), INFINITE) == WAIT_OBJECT_0 + 1) {
    }
    WaitForSingleObject(thread.Get(), INFINITE);
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
