// A program that runs the setup's real start-up and shutdown with stand-in dialog steps and writes
// down every step.
//
// Usage: lifecycle_probe.exe <log file> normal|abort|failing
// "normal" leaves a dialog and a lock alive for the shutdown to clean up;
// "abort" only runs the running-instance guard, which the test answers;
// "failing" adds a shutdown procedure that throws, between the two of the program.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include <stdexcept>

#include "app/Rover_Setup.h"
#include "infra/StartupMgr.h"
#include "infra/KestrelSyncObjs.h"
#include "infra/LifecycleProbe.h"
#include "support/Utils.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace {

wchar_t LogPath[MAX_PATH] = L"";

// One line per step, written straight through: a process ended by
// ExitProcess keeps everything written before.
void WriteStep(const wchar_t* step, int value) {
    std::string line;
    for (const wchar_t* p = step; *p != 0; ++p)
        line.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
    if (value >= 0)
        line += " " + std::to_string(value);
    line += "\r\n";
    HANDLE file = CreateFileW(LogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// A dialog still owned by the application object when the install loop ends.
class TLeftOpenForm : public rover::TForm {
  public:
    TLeftOpenForm() : TForm(*rover::Application, 900) {}
    ~TLeftOpenForm() override {
        WriteStep(L"Application clean-up destroys a dialog", -1);
        // Runs after the first FinalizeUtils: must not touch the freed lock.
        WriteStep(L"GetProductName after FinalizeUtils",
                  static_cast<int>(rover::GetProductName().size()));
    }
};

// A lock that nobody frees, for the finalisation of the lock registry.
class TLeftAliveSection : public rover::TKestrelCriticalSection {
  public:
    ~TLeftAliveSection() override { WriteStep(L"Left-alive section destroyed", -1); }
};

void FailingShutdownProcedure() {
    WriteStep(L"Failing shutdown procedure", -1);
    throw std::runtime_error("shutdown procedure failed");
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3)
        return 2;
    wcsncpy(LogPath, argv[1], MAX_PATH - 1);
    const bool normal = std::wcscmp(argv[2], L"normal") == 0;
    const bool failing = std::wcscmp(argv[2], L"failing") == 0;
    LocalFree(argv);
    rover::LifecycleProbe = &WriteStep;

    rover::TInstallSteps steps;
    steps.CheckRunningInstance = [] {
        WriteStep(L"Guard", -1);
        rover::CheckRunningInstance();
    };
    steps.SelectDestinationDrive = [normal, failing] {
        WriteStep(L"Drive dialog", -1);
        if (normal) {
            new TLeftOpenForm;
            new TLeftAliveSection;
        }
        if (failing)
            rover::GetStartupManager()->Register(&FailingShutdownProcedure, rover::slmShutdown,
                                                 20045, L"failing");
        return std::wstring();
    };
    steps.RunCopy = [](const std::wstring&) { return IDOK; };
    return rover::RoverSetupMain(instance, steps);
}
