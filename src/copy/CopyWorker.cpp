// The copy helper thread and the single-file copy rule of the installation.
#include "copy/CopyWorker.h"

#include <process.h>

#include <new>

#include "copy/CreateDir.h"
#include "support/DebugLog.h"

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

DWORD ExceptionErrorCode(std::exception_ptr error) {
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
    }
    return ERROR_INTERNAL_ERROR;
}

TCopyWorker::TCopyWorker(TTask prepare) : prepare_(std::move(prepare)) {
    Start();
}

TCopyWorker::TCopyWorker(std::vector<TCopyJob> jobs) : jobs_(std::move(jobs)) {
    Start();
    if (thread_)
        SetEvent(go_.Get());
    else
        RunJobs();
}

void TCopyWorker::Start() {
    signal_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    go_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Started as the start-up manager starts its background stage: through the
    // C runtime, which the steps use freely.
    if (signal_ && go_)
        thread_.Reset(
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadProc, this, 0, nullptr)));
    if (!thread_)
        RunPreparation();
}

TCopyWorker::~TCopyWorker() {
    if (thread_) {
        stop_.store(true);
        SetEvent(go_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
}

void TCopyWorker::Copy(const std::wstring& destination, std::vector<TCopyJob> jobs) {
    if (finished_.load())
        return;
    destination_ = destination;
    jobs_ = std::move(jobs);
    if (thread_)
        SetEvent(go_.Get());
    else
        RunJobs();
}

void TCopyWorker::Wake() {
    // Only a waiting dialog thread costs the helper a system call.
    if (waiting_.exchange(false) && signal_)
        SetEvent(signal_.Get());
}

void TCopyWorker::Fail(TCopyStage stage, size_t index, DWORD error) {
    failure_ = {stage, index, error};
    finished_.store(true);
    waiting_.store(true);
    Wake();
}

void TCopyWorker::RunPreparation() {
    // Nothing may unwind out of the helper: the dialog must hear of it and end.
    try {
        if (prepare_)
            prepare_();
    } catch (const std::exception& e) {
        LogException(L"CopyWorker", L"Preparation", e);
        Fail(TCopyStage::Exception, 0, ExceptionErrorCode(std::current_exception()));
        return;
    } catch (...) {
        Fail(TCopyStage::Exception, 0, ERROR_INTERNAL_ERROR);
        return;
    }
    prepared_.store(true);
    waiting_.store(true);
    Wake();
}

void TCopyWorker::RunJobs() {
    try {
        const std::wstring* folderMade = nullptr;
        if (!destination_.empty()) {
            if (!CreateDirChain(destination_)) {
                Fail(TCopyStage::Destination, 0, GetLastError());
                return;
            }
            folderMade = &destination_;
        }
        destinationMade_.store(true);
        Wake();
        for (size_t i = 0; i < jobs_.size() && !stop_.load(); ++i) {
            const TCopyJob& job = jobs_[i];
            // The list keeps a folder's files together: one check per folder.
            if (folderMade == nullptr || job.Folder != *folderMade) {
                if (!CreateDirChain(job.Folder)) {
                    Fail(TCopyStage::Folder, i, GetLastError());
                    return;
                }
                folderMade = &job.Folder;
            }
            const TCopyResult result =
                CopyOneFile(job.Source, job.Target, job.FailIfExists, &TCopyWorker::Progress, this);
            if (!result.Ok) {
                Fail(TCopyStage::Copy, i, result.Error);
                return;
            }
            // Cleared before the file counts as done: the dialog adds the bytes in
            // the current file to the files done, and must never count one twice.
            bytesInFile_.store(0);
            done_.store(i + 1);
            Wake();
        }
    } catch (const std::exception& e) {
        LogException(L"CopyWorker", L"Copy", e);
        Fail(TCopyStage::Exception, done_.load(), ExceptionErrorCode(std::current_exception()));
        return;
    } catch (...) {
        Fail(TCopyStage::Exception, done_.load(), ERROR_INTERNAL_ERROR);
        return;
    }
    finished_.store(true);
    waiting_.store(true);
    Wake();
}

void TCopyWorker::Run() {
    RunPreparation();
    if (finished_.load())
        return;
    WaitForSingleObject(go_.Get(), INFINITE);
    if (!stop_.load())
        RunJobs();
}

unsigned __stdcall TCopyWorker::ThreadProc(void* self) {
    static_cast<TCopyWorker*>(self)->Run();
    return 0;
}

DWORD CALLBACK TCopyWorker::Progress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                                     LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID self) {
    static_cast<TCopyWorker*>(self)->bytesInFile_.store(transferred.QuadPart);
    return PROGRESS_CONTINUE;
}

} // namespace rover
