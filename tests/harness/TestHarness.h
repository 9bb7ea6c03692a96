// Test helpers: answering real message boxes, pumping messages, paths, folders and processes.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace rover::test {

// One message box as the answerer saw it.
struct TSeenBox {
    std::wstring Caption;
    std::wstring Text;
    std::vector<int> Buttons; // control ids of the box's buttons, e.g. IDABORT
    bool HasOwner = false;
    HWND Owner = nullptr;
};

// Answers the message boxes of the current thread through a WH_CBT hook: at
// activation it records the box and presses the next queued button. When the
// queue is empty it presses the box's first button.
class TBoxAnswerer {
  public:
    explicit TBoxAnswerer(std::deque<int> answers = {});
    ~TBoxAnswerer();
    TBoxAnswerer(const TBoxAnswerer&) = delete;
    TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;

    void Queue(int button) { answers_.push_back(button); }
    // Called at activation, before the answer is posted (may inspect the box).
    std::function<void(HWND box)> OnShow;

    const std::vector<TSeenBox>& Boxes() const { return boxes_; }

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK AnswerLater(HWND, UINT, UINT_PTR timer, DWORD);
    HHOOK hook_ = nullptr;
    UINT_PTR timer_ = 0;
    std::deque<HWND> pending_;
    TBoxAnswerer* previous_ = nullptr;
    std::deque<int> answers_;
    std::vector<TSeenBox> boxes_;
};

// Reads a box (any process) as the answerer would.
TSeenBox ReadBox(HWND box);
// Presses a button of a box, in this or another process.
void PressBoxButton(HWND box, int button);
// The first visible #32770 box of a process, waiting up to timeoutMs; null if none.
HWND WaitForBoxOfProcess(DWORD processId, DWORD timeoutMs);
// The first visible top-level window of a process, waiting up to timeoutMs; null if none.
HWND WaitForWindowOfProcess(DWORD processId, DWORD timeoutMs);

// Runs this thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Pumps messages until done() holds or timeoutMs passes; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Paths: the build and source trees as Windows paths (through drive Z:).
std::wstring UnixToWindowsPath(const std::string& unixPath);
std::wstring BuildDir();
std::wstring SourceDir();
std::wstring BuildPath(const std::wstring& relative);

// The distribution with a folder closed to the user that tests/copy/unprivileged.sh makes and
// names; empty outside that run.
std::wstring ClosedFolderFixture();

// A fresh folder under the build tree's tmp folder (or the one ROVER_TEST_TMP names),
// removed with its contents.
class TTempDir {
  public:
    explicit TTempDir(const std::wstring& tag = L"t");
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

  private:
    std::wstring path_;
};

// File helpers.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool MakeDirs(const std::wstring& path);
bool RemoveTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool DirExists(const std::wstring& path);
// Sets attributes so that any user keeps them all under Wine: hidden and system first, since
// Wine stores them in the file's extended attributes, which a read-only file bars to its owner.
bool SetAttributes(const std::wstring& path, DWORD attributes);

// A child process; killed on destruction if still running.
class TProcess {
  public:
    TProcess() = default;
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    bool Start(const std::wstring& commandLine, const std::wstring& workDir = L"");
    // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD Wait(DWORD timeoutMs);
    bool Running() const;
    DWORD Id() const { return pi_.dwProcessId; }
    HANDLE Handle() const { return pi_.hProcess; }
    void Kill();

  private:
    PROCESS_INFORMATION pi_ = {};
};

// The stand-in mail client: holds the client's mutex while it runs.
class TStandInClient {
  public:
    TStandInClient() = default;
    ~TStandInClient() { Stop(); }
    // Starts it and waits until it holds the mutex.
    bool Start();
    // Asks it to end and waits for that.
    void Stop();

  private:
    TProcess process_;
    std::wstring quitEvent_;
};

std::wstring StandInClientPath();
std::wstring SetupExePath();

} // namespace rover::test
