// The copy helper thread and the single-file copy rule of the installation.
#include "copy/CopyWorker.h"

#include <process.h>

#include <new>

#include "copy/CreateDir.h"
#include "support/DebugLog.h"
#include "support/Paths.h"

namespace rover {

namespace {

const FileCopyApi kRealFileCopyCalls = {&::CopyFileExW};
FileCopyApi gFileCopyCalls = kRealFileCopyCalls;

// The attributes that make Windows refuse to replace a file.
constexpr DWORD kProtectingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct TFileId {
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;
};

// Some redirectors report 0 for every file: such an identity says nothing.
bool ReadFileId(const std::wstring& path, TFileId& id) {
    TKernelHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.Get(), &info))
        return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return id.Volume != 0 && (id.IndexHigh != 0 || id.IndexLow != 0);
}

// Called only after a copy failed, so that the common path pays nothing for it.
bool SameFile(const std::wstring& source, const std::wstring& target) {
    TFileId a, b;
    if (ReadFileId(source, a) && ReadFileId(target, b))
        return a.Volume == b.Volume && a.IndexHigh == b.IndexHigh && a.IndexLow == b.IndexLow;
    const std::wstring fullSource = PlainPath(FullPathName(source));
    return !fullSource.empty() && SamePathText(fullSource, PlainPath(FullPathName(target)));
}

} // namespace

FileCopyApi& FileCopyCalls() {
    return gFileCopyCalls;
}

const FileCopyApi& RealFileCopyCalls() {
    return kRealFileCopyCalls;
}

TCopyResult CopyOneFile(const std::wstring& source, const std::wstring& target, bool failIfExists,
                        LPPROGRESS_ROUTINE progress, void* progressData) {
    TCopyResult result;
    const std::wstring from = ExtendedPath(source);
    const std::wstring to = ExtendedPath(target);
    const DWORD flags = failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0;
    if (FileCopyCalls().CopyFileEx(from.c_str(), to.c_str(), progress, progressData, nullptr,
                                   flags)) {
        result.Ok = true;
        return result;
    }
    result.Error = GetLastError();
    if (failIfExists &&
        (result.Error == ERROR_FILE_EXISTS || result.Error == ERROR_ALREADY_EXISTS)) {
        // The user's own dictionary from an earlier installation: it stays.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            result.Ok = true;
            result.KeptExisting = true;
            result.Error = 0;
        }
        return result;
    }
    // Checked before any attribute is cleared: on one file that would change the source.
    if (SameFile(from, to)) {
        result.Ok = true;
        result.AlreadyInPlace = true;
        result.Error = 0;
        return result;
    }
    if (result.Error != ERROR_ACCESS_DENIED)
        return result;
    // Windows refuses to replace a read-only or hidden file; an earlier installation of a file
    // with those attributes left just such a target.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & kProtectingAttributes))
        return result;
    if (!SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL))
        return result; // the first refusal says more than this one
    if (FileCopyCalls().CopyFileEx(from.c_str(), to.c_str(), progress, progressData, nullptr,
                                   flags)) {
        // Windows gives the copy the source's attributes; Wine does so only for a new file.
        const DWORD sourceAttributes = GetFileAttributesW(from.c_str());
        if (sourceAttributes != INVALID_FILE_ATTRIBUTES &&
            (sourceAttributes & kProtectingAttributes) != 0)
            SetFileAttributesW(to.c_str(), sourceAttributes);
        result.Ok = true;
        result.Error = 0;
        return result;
    }
    result.Error = GetLastError();
    // Still refused for another reason: the old file keeps what protected it.
    SetFileAttributesW(to.c_str(), attributes);
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
