// The copy helper thread and the single-file copy rule of the installation.
#include "copy/CopyWorker.h"

namespace rover {

TCopyResult CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists,
                        LPPROGRESS_ROUTINE progress, void* progressData) {
    TCopyResult result;
    if (CopyFileExW(source.c_str(), target.c_str(), progress, progressData, nullptr,
                    failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0)) {
        result.Ok = true;
        return result;
    }
    result.Error = GetLastError();
    if (failIfExists &&
        (result.Error == ERROR_FILE_EXISTS || result.Error == ERROR_ALREADY_EXISTS)) {
        // The user's own dictionary from an earlier installation: it stays.
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            result.Ok = true;
            result.KeptExisting = true;
            result.Error = 0;
        }
    }
    return result;
}

TCopyWorker::TCopyWorker()
    : start_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (start_ && done_)
        thread_.Reset(CreateThread(nullptr, 0, &TCopyWorker::ThreadMain, this, 0, nullptr));
}

TCopyWorker::~TCopyWorker() {
    if (thread_) {
        quit_.store(true);
        SetEvent(start_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
}

void TCopyWorker::Begin(const std::wstring& source, const std::wstring& target, bool failIfExists) {
    source_ = source;
    target_ = target;
    failIfExists_ = failIfExists;
    bytesDone_.store(0);
    if (thread_) {
        SetEvent(start_.Get());
        return;
    }
    RunJob();
}

void TCopyWorker::RunJob() {
    result_ = CopyOneFile(source_, target_, failIfExists_, &TCopyWorker::Progress, this);
    if (done_)
        SetEvent(done_.Get());
}

DWORD WINAPI TCopyWorker::ThreadMain(LPVOID self) {
    auto* worker = static_cast<TCopyWorker*>(self);
    for (;;) {
        if (WaitForSingleObject(worker->start_.Get(), INFINITE) != WAIT_OBJECT_0)
            return 1;
        if (worker->quit_.load())
            return 0;
        worker->RunJob();
    }
}

DWORD CALLBACK TCopyWorker::Progress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                                     LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID self) {
    static_cast<TCopyWorker*>(self)->bytesDone_.store(transferred.QuadPart);
    return PROGRESS_CONTINUE;
}

} // namespace rover
