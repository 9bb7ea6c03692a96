// One helper thread that copies the file list in order while the dialog's thread keeps its window
// serviced.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "support/Handles.h"

namespace rover {

struct TCopyResult {
    bool Ok = false;
    // A fail-if-exists copy found its target already there and left it as it was.
    bool KeptExisting = false;
    // Source and target are one file (a setup started from the folder it installs to).
    bool AlreadyInPlace = false;
    DWORD Error = 0; // read on the helper thread right after the failing call
};

// The copy call of CopyOneFile. Tests swap it for Windows' own rule on read-only and hidden
// targets, which Wine applies only in part.
struct FileCopyApi {
    BOOL(WINAPI* CopyFileEx)
    (LPCWSTR source, LPCWSTR target, LPPROGRESS_ROUTINE progress, LPVOID data, LPBOOL cancel,
     DWORD flags);
};
FileCopyApi& FileCopyCalls();
const FileCopyApi& RealFileCopyCalls();

// Copies one file as the installation does: an existing target is replaced whatever its
// read-only, hidden and system attributes, and the copy takes the source's; a fail-if-exists
// file whose target already exists is kept untouched and counts as done, and so does a file
// that is its own target; any other failure is an error. Long paths take the \\?\ form.
TCopyResult CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists,
                        LPPROGRESS_ROUTINE progress = nullptr, void* progressData = nullptr);

struct TCopyJob {
    std::wstring Source;
    std::wstring Target;
    std::wstring Folder; // made with its parents before the copy
    bool FailIfExists = false;
};

enum class TCopyStage { None, Folder, Copy };

// The first failure, which ends the run.
struct TCopyFailure {
    TCopyStage Stage = TCopyStage::None;
    size_t Index = 0;
    DWORD Error = 0;
};

// Runs the jobs one at a time, in order, on one thread that lives for the
// whole list (a thread per file would cost more than copying a small file),
// and stops at the first failure. The helper never waits for the dialog's
// thread: that thread follows it through DoneCount() and the Signal() event.
// Without a thread (it could not be started) the jobs run at once, on the
// caller's thread.
class TCopyWorker {
  public:
    explicit TCopyWorker(std::vector<TCopyJob> jobs);
    ~TCopyWorker();
    TCopyWorker(const TCopyWorker&) = delete;
    TCopyWorker& operator=(const TCopyWorker&) = delete;

    // Jobs finished successfully so far.
    size_t DoneCount() const { return done_.load(); }
    // Every job done, or the run ended at a failure.
    bool Finished() const { return finished_.load(); }
    // Valid once Finished().
    const TCopyFailure& Failure() const { return failure_; }
    // Bytes of the current file copied so far, as far as the system reports them.
    std::int64_t BytesInFile() const { return bytesInFile_.load(); }

    // Asks to be woken through Signal() at the next finished job; false when
    // that job is already there, so that no wake-up is missed.
    bool ArmSignal(size_t wantedDone);
    HANDLE Signal() const { return signal_.Get(); }

  private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    static DWORD CALLBACK Progress(LARGE_INTEGER total, LARGE_INTEGER transferred,
                                   LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                   DWORD stream, DWORD reason, HANDLE source, HANDLE target,
                                   LPVOID self);
    void Run();
    void Wake();

    const std::vector<TCopyJob> jobs_;
    TKernelHandle signal_;
    TKernelHandle thread_;
    std::atomic<size_t> done_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<std::int64_t> bytesInFile_{0};
    TCopyFailure failure_; // written before finished_ is set
};

} // namespace rover
