// The running-instance guard against a real stand-in client holding the mutex.
#include <gtest/gtest.h>

#include "TestHarness.h"
#include "app/Rover_Setup.h"
#include "support/Utils.h"
#include "ui/Application.h"

namespace rover {
namespace {

using test::TBoxAnswerer;
using test::TStandInClient;

class Guard : public ::testing::Test {
  protected:
    void SetUp() override {
        Application = new TApplication(GetModuleHandleW(nullptr));
        Application->SetTitle(kApplicationTitle);
    }
    void TearDown() override {
        delete Application;
        Application = nullptr;
    }
};

TEST_F(Guard, NoClientNoPrompt) {
    TBoxAnswerer answerer;
    CheckRunningInstance();
    EXPECT_TRUE(answerer.Boxes().empty());
}

TEST_F(Guard, PromptWhileTheClientRunsRetryRepeatsIgnoreGoesOn) {
    TStandInClient client;
    ASSERT_TRUE(client.Start());
    TBoxAnswerer answerer({IDRETRY, IDRETRY, IDIGNORE});
    CheckRunningInstance();
    ASSERT_EQ(answerer.Boxes().size(), 3u);
    for (const test::TSeenBox& box : answerer.Boxes()) {
        EXPECT_EQ(box.Caption, L"Kestrel Rover Installation");
        EXPECT_EQ(box.Text, L"Kestrel Rover is currently running. Please exit Rover to continue "
                            L"installation.\r\n\r\nAbort the installation?");
        std::vector<int> buttons = box.Buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDABORT, IDRETRY, IDIGNORE}));
        EXPECT_EQ(box.Owner, Application->Handle());
    }
}

TEST_F(Guard, RetryAfterTheClientEndedGoesOn) {
    TStandInClient client;
    ASSERT_TRUE(client.Start());
    TBoxAnswerer answerer({IDRETRY});
    answerer.OnShow = [&client](HWND) { client.Stop(); };
    CheckRunningInstance();
    EXPECT_EQ(answerer.Boxes().size(), 1u);
}

// The process ends, so these run in a child through GoogleTest's death tests;
// the box's answer comes from the message-box seam.
int WINAPI AnswerAbort(HWND, LPCWSTR, LPCWSTR, UINT, WORD) {
    return IDABORT;
}
int WINAPI AnswerNothing(HWND, LPCWSTR, LPCWSTR, UINT, WORD) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

TEST_F(Guard, AbortAndAnUnshownBoxEndTheProcessWithCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child re-runs this test up to the statement. Only the parent starts
    // the client: one started by the child would outlive it, since the child
    // never gets to stop it.
    TStandInClient client;
    if (GTEST_FLAG_GET(internal_run_death_test).empty()) {
        ASSERT_TRUE(client.Start());
    }
    for (auto answer : {&AnswerAbort, &AnswerNothing}) {
        EXPECT_EXIT(
            {
                MessageBoxCalls().WideBox = answer;
                CheckRunningInstance();
                _exit(7); // returned: the guard let the installation go on
            },
            ::testing::ExitedWithCode(0), "");
    }
}

} // namespace
} // namespace rover
