// The copy helper thread and the single-file copy rule of the installation.
#include "copy/CopyWorker.h"

#include "copy/CreateDir.h"
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
