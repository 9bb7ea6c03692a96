// The main block, the running-instance guard and the install loop.
#include "app/Rover_Setup.h"

#include "app/ModuleLifecycle.h"
#include "copy/rover_setup_copy.h"
#include "destination/rover_setup_select_drive.h"
#include "support/Handles.h"
#include "support/Utils.h"
#include "ui/Application.h"

namespace rover {

void CheckRunningInstance() {
    for (;;) {
        TKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kClientMutexName));
        if (!mutex)
            return;    // missing or not ours to open: the client counts as not running
        mutex.Reset(); // only probed, never held
        const HWND owner = Application != nullptr ? Application->Handle() : nullptr;
        const int answer = AbortRetryIgnoreBox(kGuardPrompt, owner);
        // A box that cannot be shown (0) counts as Abort: asking again at once
        // would spin for as long as the client runs.
        if (answer == IDABORT || answer == 0)
            ExitProcess(0);
        if (answer == IDIGNORE)
            return;
    }
}

TInstallSteps RealInstallSteps() {
    TInstallSteps steps;
    steps.CheckRunningInstance = &CheckRunningInstance;
    steps.SelectDestinationDrive = [] { return SelectDestinationDrive(*Application); };
    steps.RunCopy = [](const std::wstring& dstDir) { return RunCopyDialog(*Application, dstDir); };
    return steps;
}

void RunInstallLoop(const TInstallSteps& steps) {
    steps.CheckRunningInstance();
    for (;;) {
        const std::wstring drive = steps.SelectDestinationDrive();
        if (drive.empty())
            return;
        // The client may have been started while the drive dialog was open.
        steps.CheckRunningInstance();
        if (steps.RunCopy(JoinPath(drive, kDestinationFolderName)) != IDRETRY)
            return;
    }
}

void RunInstallLoop() {
    RunInstallLoop(RealInstallSteps());
}

int RoverSetupMain(HINSTANCE instance) {
    return RoverSetupMain(instance, RealInstallSteps());
}

int RoverSetupMain(HINSTANCE instance, const TInstallSteps& steps) {
    InitializeModules();
    Application = new TApplication(instance);
    Application->LoadIcons(L"AAA_ICON_main");
    Application->SetTitle(kApplicationTitle);
    Application->Initialize();
    RunInstallLoop(steps);
    // No main window exists, so there is no message loop to enter.
    TApplication::RegisterCleanupAtExit();
    FinalizeUtils();
    return 0;
}

} // namespace rover
