// The form base and the application object, driven through real windows and messages.
#include <gtest/gtest.h>

#include <stdexcept>

#include "TestHarness.h"
#include "ui/Application.h"
#include "ui/Form.h"

namespace rover {
namespace {

using test::PumpMessages;

constexpr int kTestDialog = 900;

// Records the events the base raises.
class TProbeForm : public TForm {
  public:
    TProbeForm(TApplication& app, bool* destroyed = nullptr)
        : TForm(app, kTestDialog), destroyed_(destroyed) {}
    ~TProbeForm() override {
        if (destroyed_ != nullptr)
            *destroyed_ = true;
    }

    int Creations = 0;
    int Activations = 0;
    int CloseQueries = 0;
    int Refusals = 0; // close queries to refuse before agreeing
    TCloseAction Action = TCloseAction::Hide;
    bool OwnerDisabledDuringRun = false;
    bool ThrowOnTimer = false;

  protected:
    void FormCreate() override { ++Creations; }
    void FormActivate() override {
        ++Activations;
        OwnerDisabledDuringRun = !IsWindowEnabled(Owner().Handle());
    }
    void FormCloseQuery(bool& canClose) override {
        ++CloseQueries;
        if (Refusals > 0) {
            --Refusals;
            canClose = false;
            // The user tries again.
            PostMessageW(Handle(), WM_COMMAND, IDOK, 0);
        }
    }
    void FormClose(TCloseAction& action) override { action = Action; }
    void Timer(UINT_PTR) override {
        if (ThrowOnTimer)
            throw std::runtime_error("handler failed");
    }

  private:
    bool* destroyed_;
};

class Forms : public ::testing::Test {
  protected:
    TApplication app{GetModuleHandleW(nullptr)};
};

TEST_F(Forms, ShowModalReturnsTheResultOfTheUsersAction) {
    struct Case {
        const char* Name;
        UINT Message;
        WPARAM WParam;
        int Expected;
    };
    const Case cases[] = {
        {"OK button", WM_COMMAND, IDOK, IDOK},
        {"Cancel button", WM_COMMAND, IDCANCEL, IDCANCEL},
        {"close box", WM_CLOSE, 0, IDCANCEL},
        {"Escape", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
        {"Enter on the default button", WM_KEYDOWN, VK_RETURN, IDOK},
    };
    for (const Case& c : cases) {
        TProbeForm form(app);
        HWND target = c.Message == WM_KEYDOWN ? form.Item(901) : form.Handle();
        PostMessageW(target, c.Message, c.WParam, 0);
        EXPECT_EQ(form.ShowModal(), c.Expected) << c.Name;
        EXPECT_FALSE(IsWindowVisible(form.Handle())) << c.Name;
        EXPECT_TRUE(IsWindowEnabled(app.Handle())) << c.Name;
        EXPECT_EQ(form.CloseQueries, 1) << c.Name;
    }
}

TEST_F(Forms, TheOwnerIsDisabledWhileTheFormRuns) {
    TProbeForm form(app);
    PostMessageW(form.Handle(), WM_COMMAND, IDOK, 0);
    form.ShowModal();
    EXPECT_EQ(form.Creations, 1);
    EXPECT_GE(form.Activations, 1);
    EXPECT_TRUE(form.OwnerDisabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(app.Handle()));
}

TEST_F(Forms, ARefusedCloseQueryKeepsTheFormRunning) {
    TProbeForm form(app);
    form.Refusals = 2;
    PostMessageW(form.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(form.ShowModal(), IDOK); // the third try was OK
    EXPECT_EQ(form.CloseQueries, 3);
}

TEST_F(Forms, AFormDrivenWithoutAModalLoopKeepsItsResult) {
    TProbeForm form(app);
    SendMessageW(form.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(form.ModalResult(), IDCANCEL);
    EXPECT_FALSE(form.InModalLoop());
}

TEST_F(Forms, FreeOnCloseReleasesTheFormAtTheNextMessages) {
    bool destroyed = false;
    auto* form = new TProbeForm(app, &destroyed);
    form->Action = TCloseAction::Free;
    const HWND handle = form->Handle();
    PostMessageW(handle, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(form->ShowModal(), IDOK);
    EXPECT_FALSE(destroyed); // still alive for its caller to read
    EXPECT_TRUE(app.OwnsForm(form));
    app.ProcessMessages();
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(app.FormCount(), 0u);
}

TEST_F(Forms, CleanupDestroysEveryFormStillOwned) {
    bool firstGone = false;
    bool secondGone = false;
    auto* first = new TProbeForm(app, &firstGone);
    auto* second = new TProbeForm(app, &secondGone);
    first->Show();
    second->Release(); // a release still pending must not free it twice
    app.Cleanup();
    EXPECT_TRUE(firstGone);
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(app.FormCount(), 0u);
    app.ProcessMessages(); // the pending release finds nothing
}

TEST_F(Forms, AnExceptionInAHandlerStopsAtTheFormsBoundary) {
    TProbeForm form(app);
    form.ThrowOnTimer = true;
    SetTimer(form.Handle(), 1, 1, nullptr);
    PumpMessages(50);
    KillTimer(form.Handle(), 1);
    PostMessageW(form.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(form.ShowModal(), IDOK);
}

TEST_F(Forms, TheApplicationWindowCarriesTheTitleAndStaysHidden) {
    app.SetTitle(L"Kestrel Rover Installation");
    EXPECT_EQ(app.Title(), L"Kestrel Rover Installation");
    EXPECT_FALSE(IsWindowVisible(app.Handle()));
    TProbeForm form(app);
    EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), app.Handle());
}

} // namespace
} // namespace rover

namespace rover {
namespace {

TEST_F(Forms, AFormThatCannotBeMadeReturnsAtOnce) {
    TForm missing(app, 12345); // no such template
    EXPECT_EQ(missing.Handle(), nullptr);
    EXPECT_EQ(missing.ShowModal(), 0);
    EXPECT_TRUE(IsWindowEnabled(app.Handle()));
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

TEST_F(Forms, DialogsCarryTheProgramsIconAtBothSizes) {
    app.LoadIcons(L"AAA_ICON_main");
    ASSERT_NE(app.Icon(), nullptr);
    ASSERT_NE(app.SmallIcon(), nullptr);
    EXPECT_EQ(IconWidth(app.Icon()), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconWidth(app.SmallIcon()), GetSystemMetrics(SM_CXSMICON));
    TProbeForm form(app);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0)),
              app.Icon());
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0)),
              app.SmallIcon());
}

} // namespace
} // namespace rover
