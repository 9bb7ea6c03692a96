// The copy dialog: scans the distribution folder, copies it to the destination and writes the
// autorun file.
#pragma once

#include <cstdint>
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

    // From the first activation until the result is set.
    bool Working() const { return working_; }
    // Entries of the current run; null before the preparation and after the close.
    const TCopyFileList* Files() const { return FilesToCopy; }

  protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(TCloseAction& action) override;
    void Command(int id, int code, HWND control) override;
    void CloseRequested() override;

  private:
    void PrepareCopy();
    void RunCopy();
    void StopAnimation();
    void WriteAutorun();
    void Finish(int result);
    void ShowFileName(const std::wstring& text);
    // Moves the bar forward, no more often than every ~30 ms unless forced.
    void ShowProgress(std::int64_t bytes, bool force);
    // Runs the window's messages until the helper has finished `count` files
    // or stopped; copiedBefore[k] is the size of the first k files.
    void WaitForFiles(size_t count, const std::vector<std::int64_t>& copiedBefore);

    bool Activated = false;
    TCopyFileList* FilesToCopy = nullptr;
    std::int64_t TotalSize = 0;
    HCURSOR SavedCursor = nullptr;

    bool working_ = false;
    std::int64_t progressUnit_ = 1024;
    int lastPosition_ = 0;
    DWORD lastMove_ = 0;
    DWORD lastPump_ = 0;
    std::unique_ptr<TCopyWorker> worker_;
};

// Runs a new copy dialog into dstDir; returns its modal result (OK 1 or Retry 4).
int RunCopyDialog(TApplication& owner, const std::wstring& dstDir);

} // namespace rover
