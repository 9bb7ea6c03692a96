// The real rover_setup.exe as a user meets it: the guard prompt, Abort, and a quiet exit.
#include <gtest/gtest.h>

#include "TestHarness.h"

namespace rover {
namespace {

using namespace rover::test;

TEST(Program, AbortAtTheGuardEndsAtOnceWithCodeZero) {
    TStandInClient client;
    ASSERT_TRUE(client.Start());
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + SetupExePath() + L"\""));
    HWND box = WaitForBoxOfProcess(setup.Id(), 20000);
    ASSERT_NE(box, nullptr) << "no guard prompt appeared";
    const TSeenBox seen = ReadBox(box);
    EXPECT_EQ(seen.Caption, L"Kestrel Rover Installation");
    EXPECT_EQ(seen.Text, L"Kestrel Rover is currently running. Please exit Rover to continue "
                         L"installation.\r\n\r\nAbort the installation?");
    PressBoxButton(box, IDABORT);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

TEST(Program, WithoutAClientNoPromptAppears) {
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + SetupExePath() + L"\""));
    // The first window is the drive dialog, never the prompt; leaving it ends the program.
    HWND window = WaitForWindowOfProcess(setup.Id(), 20000);
    ASSERT_NE(window, nullptr);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    EXPECT_EQ(WaitForBoxOfProcess(setup.Id(), 0), nullptr) << "a box appeared";
    EXPECT_STREQ(caption, L"Kestrel Rover Installation - Select Drive To Install");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

} // namespace
} // namespace rover
