// One helper thread that copies one file at a time while the dialog's thread keeps its window
// serviced.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "support/Handles.h"

namespace rover {

struct TCopyResult {
    bool Ok = false;
    // A fail-if-exists copy found its target already there and left it as it was.
    bool KeptExisting = false;
    DWORD Error = 0; // read on the helper thread right after the failing call
};

// Copies one file as the installation does: a fail-if-exists file whose target
// already exists is kept and counts as done; any other failure is an error.
TCopyResult CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists,
                        LPPROGRESS_ROUTINE progress = nullptr, void* progressData = nullptr);

// The helper lives for the whole copy: starting a thread per file would cost
// more than copying a small file. Without a thread (it could not be started)
// each copy runs at once on the caller's thread.
class TCopyWorker {
  public:
    TCopyWorker();
    ~TCopyWorker();
    TCopyWorker(const TCopyWorker&) = delete;
    TCopyWorker& operator=(const TCopyWorker&) = delete;

    // Hands one copy to the helper and returns; Done() is signalled when it ends.
    void Begin(const std::wstring& source, const std::wstring& target, bool failIfExists);
    HANDLE Done() const { return done_.Get(); }
    // Valid once Done() is signalled.
    TCopyResult Result() const { return result_; }
    // Bytes of the current file copied so far, as far as the system reports them.
    std::int64_t BytesDone() const { return bytesDone_.load(); }

  private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    static DWORD CALLBACK Progress(LARGE_INTEGER total, LARGE_INTEGER transferred,
                                   LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                   DWORD stream, DWORD reason, HANDLE source, HANDLE target,
                                   LPVOID self);
    void RunJob();

    TKernelHandle start_;
    TKernelHandle done_;
    TKernelHandle thread_;
    std::atomic<bool> quit_{false};
    std::atomic<std::int64_t> bytesDone_{0};
    // Written by the caller before start_ is set and by the helper before
    // done_ is set; the events order the accesses.
    std::wstring source_;
    std::wstring target_;
    bool failIfExists_ = false;
    TCopyResult result_;
};

} // namespace rover
