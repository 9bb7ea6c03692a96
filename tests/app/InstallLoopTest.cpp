// The install loop's control flow, with its dialog steps injected.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/Rover_Setup.h"

namespace rover {
namespace {

// Plays a scripted user: the drives chosen in turn and the copy results in turn.
struct Script {
    std::deque<std::wstring> Drives;
    std::deque<int> CopyResults;
    std::vector<std::wstring> Trace;

    TInstallSteps Steps() {
        TInstallSteps steps;
        steps.CheckRunningInstance = [this] { Trace.push_back(L"guard"); };
        steps.SelectDestinationDrive = [this] {
            Trace.push_back(L"select");
            std::wstring drive = Drives.front();
            Drives.pop_front();
            return drive;
        };
        steps.RunCopy = [this](const std::wstring& dstDir) {
            Trace.push_back(L"copy " + dstDir);
            int result = CopyResults.front();
            CopyResults.pop_front();
            return result;
        };
        return steps;
    }
};

TEST(InstallLoop, FollowsTheUsersChoices) {
    struct Case {
        const char* Name;
        std::deque<std::wstring> Drives;
        std::deque<int> CopyResults;
        std::vector<std::wstring> Expected;
    };
    const Case cases[] = {
        {"exit at once", {L""}, {}, {L"guard", L"select"}},
        {"one good copy", {L"E:"}, {IDOK}, {L"guard", L"select", L"guard", L"copy E:\\Rover"}},
        {"retry goes back to the drive choice",
         {L"E:", L"F:"},
         {IDRETRY, IDOK},
         {L"guard", L"select", L"guard", L"copy E:\\Rover", L"select", L"guard",
          L"copy F:\\Rover"}},
        {"retry then exit",
         {L"E:", L""},
         {IDRETRY},
         {L"guard", L"select", L"guard", L"copy E:\\Rover", L"select"}},
        {"any other result ends the loop",
         {L"G:"},
         {IDCANCEL},
         {L"guard", L"select", L"guard", L"copy G:\\Rover"}},
    };
    for (const Case& c : cases) {
        Script script{c.Drives, c.CopyResults, {}};
        RunInstallLoop(script.Steps());
        EXPECT_EQ(script.Trace, c.Expected) << c.Name;
        EXPECT_TRUE(script.Drives.empty()) << c.Name;
        EXPECT_TRUE(script.CopyResults.empty()) << c.Name;
    }
}

} // namespace
} // namespace rover
