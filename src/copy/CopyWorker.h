// One helper thread that copies the file list in order while the dialog's thread keeps its window
// serviced.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
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

enum class TCopyStage { None, Destination, Folder, Copy, Exception };

// The first failure, which ends the run. For an exception, Error is the
// system code that stands for it and Index the job it happened in.
struct TCopyFailure {
    TCopyStage Stage = TCopyStage::None;
    size_t Index = 0;
    DWORD Error = 0;
};

// The system code shown for an exception that ended a step of the installation.
DWORD ExceptionErrorCode(std::exception_ptr error);

// One helper thread for the whole installation: it runs the preparation it is
// started with, then waits for Copy() and runs the jobs one at a time, in
// order (a thread per file would cost more than copying a small file),
// stopping at the first failure. The helper never waits for the dialog's
// thread: that thread follows it through the state below and the Signal()
// event. Without a thread (it could not be started) each part runs at once,
// on the caller's thread.
class TCopyWorker {
  public:
    using TTask = std::function<void()>;

    // Starts the helper on `prepare`; an exception that leaves it ends the run.
    explicit TCopyWorker(TTask prepare);
    ~TCopyWorker();
    TCopyWorker(const TCopyWorker&) = delete;
    TCopyWorker& operator=(const TCopyWorker&) = delete;

    // The preparation has returned; what it wrote may be read now.
    bool Prepared() const { return prepared_.load(); }
    // Once the preparation has been started: makes the destination folder
    // with its parents (none where it is empty), then copies the jobs; does
    // nothing where the preparation failed. At most once.
    void Copy(const std::wstring& destination, std::vector<TCopyJob> jobs);
    // A job handed to Copy(), for the caller's own thread.
    const TCopyJob& Job(size_t index) const { return jobs_[index]; }
    // The destination folder is there and the jobs have begun.
    bool DestinationMade() const { return destinationMade_.load(); }
    // Jobs finished successfully so far.
    size_t DoneCount() const { return done_.load(); }
    // Every job done, or the run ended at a failure.
    bool Finished() const { return finished_.load(); }
    // Valid once Finished().
    const TCopyFailure& Failure() const { return failure_; }
    // Bytes of the current file copied so far, as far as the system reports them.
    std::int64_t BytesInFile() const { return bytesInFile_.load(); }

    // Asks to be woken through Signal() at the helper's next step. The caller
    // checks what it waits for again after arming, so that no step is missed.
    void ArmSignal() { waiting_.store(true); }
    HANDLE Signal() const { return signal_.Get(); }

  private:
    static unsigned __stdcall ThreadProc(void* self);
    static DWORD CALLBACK Progress(LARGE_INTEGER total, LARGE_INTEGER transferred,
                                   LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                   DWORD stream, DWORD reason, HANDLE source, HANDLE target,
                                   LPVOID self);
    void Run();
    void RunPreparation();
    void RunJobs();
    void Fail(TCopyStage stage, size_t index, DWORD error);
    void Wake();

    TTask prepare_;
    // Written by Copy() before go_ is set, read by the helper after it.
    std::wstring destination_;
    std::vector<TCopyJob> jobs_;
    TKernelHandle signal_;
    TKernelHandle go_;
    TKernelHandle thread_;
    std::atomic<bool> prepared_{false};
    std::atomic<bool> destinationMade_{false};
    std::atomic<size_t> done_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<std::int64_t> bytesInFile_{0};
    TCopyFailure failure_; // written before finished_ is set
};

} // namespace rover
