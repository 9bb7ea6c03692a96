// The program's spine: the main block, the running-instance guard and the install loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace rover {

constexpr wchar_t kApplicationTitle[] = L"Kestrel Rover Installation";
constexpr wchar_t kClientMutexName[] = L"Rover mailer ready mutex";
constexpr wchar_t kGuardPrompt[] =
    L"Kestrel Rover is currently running. Please exit Rover to continue installation.\r\n\r\n"
    L"Abort the installation?";
constexpr wchar_t kDestinationFolderName[] = L"Rover";

// The dialog steps of the install loop, injectable so that its control flow
// can be exercised without the real dialogs.
struct TInstallSteps {
    std::function<void()> CheckRunningInstance;
    // A drive as a letter and a colon, or empty when none was chosen.
    std::function<std::wstring()> SelectDestinationDrive;
    // Runs the copy into the destination folder; returns the modal result.
    std::function<int(const std::wstring& dstDir)> RunCopy;
};

TInstallSteps RealInstallSteps();

// Returns when no client runs or the user chose Ignore; Abort ends the process.
void CheckRunningInstance();

void RunInstallLoop(const TInstallSteps& steps);
void RunInstallLoop();

// The main block: application object, install loop, shutdown. Returns the exit code.
int RoverSetupMain(HINSTANCE instance);
// The same with other dialog steps, for a test program that watches the life cycle.
int RoverSetupMain(HINSTANCE instance, const TInstallSteps& steps);

} // namespace rover
