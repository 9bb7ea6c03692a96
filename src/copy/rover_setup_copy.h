// The copy dialog: scans the distribution folder, copies it to the destination and writes the
// autorun file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "copy/SourceList.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace rover {

class TApplication;
class TCopyWorker;

constexpr UINT WM_PREPARE_COPY = WM_USER + 1;
constexpr UINT WM_RUN_COPY = WM_USER + 2;

// The listing the preparation runs, with ScanSourceFolder's arguments.
using TScanFunction = std::function<bool(
    const std::wstring& absFolder, const std::wstring& relFolder, TCopyFileList& list,
    std::int64_t& totalSize, TScanFailure* failure, const std::wstring& skipFolder)>;

class TCopyProgressForm : public TForm {
  public:
    explicit TCopyProgressForm(TApplication& owner);
    ~TCopyProgressForm() override;

    TProgressBar ProgressBar;
    TControl lFileName;
    TAnimate Animate;

    // The destination folder, e.g. X:\Rover; set before the dialog is shown.
    std::wstring DstDir;
    // The folder copied from: the running program's own unless set before
    // the dialog is shown.
    std::wstring SourceDir;
    // Runs on the helper thread; ScanSourceFolder unless a test puts in one
    // that fails or throws.
    TScanFunction Scan;

    // From the first activation until the result is set.
    bool Working() const { return working_; }
    // Entries of the current run; null until the listing has ended and after the close.
    const TCopyFileList* Files() const { return FilesToCopy; }

  protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(TCloseAction& action) override;
    void Command(int id, int code, HWND control) override;
    void CloseRequested() override;

  private:
    // The steps of the work, each started by a message the dialog posted itself.
    enum class TStep { Idle, PreparePosted, Preparing, CopyPosted, Copying, Ended };

    // What the helper hands over from the preparation.
    struct TPreparation {
        TCopyFileList* Files = nullptr;
        std::int64_t TotalSize = 0;
        bool ScanOk = true;
        TScanFailure ScanFailure;
        std::int64_t Needed = 0;
        bool FreeKnown = false;
        std::uint64_t FreeBytes = 0;
    };

    bool OwnPost(WPARAM wParam, LPARAM lParam) const;
    void PostStep(UINT msg, TStep step);
    // Runs a step; an exception that escapes it ends the dialog with Retry.
    void RunStep(void (TCopyProgressForm::*step)());
    void PrepareCopy();
    void RunCopy();
    void StopAnimation();
    void WriteAutorun();
    // Opens the installed folder in a shell window, serving this window meanwhile.
    void OpenDestination();
    void Finish(int result);
    // The one failure tail: the animation stopped, the box, Retry.
    void Fail(const std::wstring& text);
    void ShowFileName(const std::wstring& text);
    // Moves the bar forward, no more often than every ~30 ms unless forced.
    void ShowProgress(std::int64_t bytes, bool force);
    // Waits up to timeout for handle or for messages, and runs the messages that came;
    // returns the wait's result.
    DWORD WaitServing(HANDLE handle, DWORD timeout);
    // Runs the window's messages until ready() holds or the helper has
    // stopped; between() runs after each wake-up.
    void ServeUntil(const std::function<bool()>& ready, const std::function<void()>& between);
    // Runs the window's messages until the helper has ended, calling show
    // after each wait.
    void FollowCopy(const std::function<void()>& show);

    bool Activated = false;
    TCopyFileList* FilesToCopy = nullptr;
    std::int64_t TotalSize = 0;
    HCURSOR SavedCursor = nullptr;

    TStep step_ = TStep::Idle;
    bool working_ = false;
    bool animating_ = false;
    std::int64_t progressUnit_ = 1024;
    int lastPosition_ = 0;
    DWORD lastMove_ = 0;
    DWORD lastPump_ = 0;
    TPreparation prepared_;
    std::unique_ptr<TCopyWorker> worker_;
};

// Where a clip of clipWidth x clipHeight pixels sits in its frame: centred.
// The animation control shows a clip at its own size whatever the DPI.
RECT ClipPlace(const RECT& frame, int clipWidth, int clipHeight);

// Runs a new copy dialog into dstDir; returns its modal result (OK 1 or Retry 4).
int RunCopyDialog(TApplication& owner, const std::wstring& dstDir);

} // namespace rover
