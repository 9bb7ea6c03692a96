// The copy helper thread and the single-file copy rule of the installation.
#include "copy/CopyWorker.h"

#include "copy/CreateDir.h"

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

TCopyWorker::TCopyWorker(std::vector<TCopyJob> jobs)
    : jobs_(std::move(jobs)), signal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (signal_)
        thread_.Reset(CreateThread(nullptr, 0, &TCopyWorker::ThreadMain, this, 0, nullptr));
    if (!thread_)
        Run();
}

TCopyWorker::~TCopyWorker() {
    if (thread_) {
        stop_.store(true);
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
}

bool TCopyWorker::ArmSignal(size_t wantedDone) {
    waiting_.store(true);
    // Checked again after arming: the helper may have finished meanwhile.
    if (done_.load() >= wantedDone || finished_.load()) {
        waiting_.store(false);
        return false;
    }
    return true;
}

void TCopyWorker::Wake() {
    // Only a waiting dialog thread costs the helper a system call.
    if (waiting_.exchange(false) && signal_)
        SetEvent(signal_.Get());
}

void TCopyWorker::Run() {
    for (size_t i = 0; i < jobs_.size() && !stop_.load(); ++i) {
        const TCopyJob& job = jobs_[i];
        if (!CreateDirChain(job.Folder)) {
            failure_ = {TCopyStage::Folder, i, GetLastError()};
            break;
        }
        const TCopyResult result =
            CopyOneFile(job.Source, job.Target, job.FailIfExists, &TCopyWorker::Progress, this);
        if (!result.Ok) {
            failure_ = {TCopyStage::Copy, i, result.Error};
            break;
        }
        // Cleared before the file counts as done: the dialog adds the bytes in
        // the current file to the files done, and must never count one twice.
        bytesInFile_.store(0);
        done_.store(i + 1);
        Wake();
    }
    finished_.store(true);
    waiting_.store(true);
    Wake();
}

DWORD WINAPI TCopyWorker::ThreadMain(LPVOID self) {
    static_cast<TCopyWorker*>(self)->Run();
    return 0;
}

DWORD CALLBACK TCopyWorker::Progress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                                     LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID self) {
    static_cast<TCopyWorker*>(self)->bytesInFile_.store(transferred.QuadPart);
    return PROGRESS_CONTINUE;
}

} // namespace rover
