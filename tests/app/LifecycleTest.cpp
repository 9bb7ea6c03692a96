// The real program's start-up and shutdown order, after a normal end and after Abort in the guard.
#include <gtest/gtest.h>

#include <string>

#include "TestHarness.h"

namespace rover {
namespace {

using test::TProcess;

std::wstring ProbePath() {
    return test::BuildPath(L"tests\\app\\lifecycle_probe.exe");
}

std::string StartUpSteps() {
    return "KestrelSyncObjs initialised\r\n"
           "Utils initialised\r\n"
           "DebugLog initialised\r\n"
           "HUtils initialised\r\n"
           "StartupMgr initialised\r\n";
}

TEST(Lifecycle, NormalEndRunsTheWholeShutdownInOrder) {
    test::TTempDir dir(L"lifecycle");
    const std::wstring log = dir / L"steps.txt";
    TProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + ProbePath() + L"\" \"" + log + L"\" normal"));
    EXPECT_EQ(probe.Wait(60000), 0u);
    std::string steps;
    ASSERT_TRUE(test::ReadFileBytes(log, steps));
    EXPECT_EQ(steps, StartUpSteps() + "Guard\r\n"
                                      "Drive dialog\r\n"
                                      // Called directly by the main block: releases the lock.
                                      "FinalizeUtils 1\r\n"
                                      // Exit procedures, last registered first.
                                      "Application clean-up destroys a dialog\r\n"
                                      "GetProductName after FinalizeUtils 0\r\n"
                                      "RunShutdownStage\r\n"
                                      "FinalizeHUtils 1\r\n"
                                      // The second run finds nothing left to release.
                                      "FinalizeUtils 0\r\n"
                                      "Start-up manager freed\r\n"
                                      // Module finalisations, in reverse order of start-up.
                                      "StartupMgr finalised\r\n"
                                      "HUtils finalised\r\n"
                                      "Utils finalised\r\n"
                                      "Left-alive section destroyed\r\n"
                                      "KestrelSyncObjs finalised 1\r\n");
}

TEST(Lifecycle, AFailingShutdownProcedureEndsOnlyTheShutdownStage) {
    test::TTempDir dir(L"lifecycle");
    const std::wstring log = dir / L"steps.txt";
    TProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + ProbePath() + L"\" \"" + log + L"\" failing"));
    EXPECT_EQ(probe.Wait(60000), 0u);
    std::string steps;
    ASSERT_TRUE(test::ReadFileBytes(log, steps));
    // The stage stops at the failure, the manager stays, and the modules
    // still finalise; the process ends normally.
    EXPECT_EQ(steps, StartUpSteps() + "Guard\r\n"
                                      "Drive dialog\r\n"
                                      "FinalizeUtils 1\r\n"
                                      "RunShutdownStage\r\n"
                                      "FinalizeHUtils 1\r\n"
                                      "Failing shutdown procedure\r\n"
                                      "RunShutdownStage failed\r\n"
                                      "StartupMgr finalised\r\n"
                                      "HUtils finalised\r\n"
                                      "Utils finalised\r\n"
                                      "KestrelSyncObjs finalised 0\r\n");
}

TEST(Lifecycle, AbortInTheGuardRunsNoShutdown) {
    test::TStandInClient client;
    ASSERT_TRUE(client.Start());
    test::TTempDir dir(L"lifecycle");
    const std::wstring log = dir / L"steps.txt";
    TProcess probe;
    ASSERT_TRUE(probe.Start(L"\"" + ProbePath() + L"\" \"" + log + L"\" abort"));
    HWND box = test::WaitForBoxOfProcess(probe.Id(), 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(test::ReadBox(box).Caption, L"Kestrel Rover Installation");
    test::PressBoxButton(box, IDABORT);
    EXPECT_EQ(probe.Wait(60000), 0u);
    std::string steps;
    ASSERT_TRUE(test::ReadFileBytes(log, steps));
    EXPECT_EQ(steps, StartUpSteps() + "Guard\r\n");
}

} // namespace
} // namespace rover
