// Message boxes: caption rule, forced flags, the 8-bit fallback and code-page conversion.
#include <gtest/gtest.h>

#include "TestHarness.h"
#include "infra/KestrelSyncObjs.h"
#include "support/Utils.h"

namespace rover {
namespace {

using test::TBoxAnswerer;

// A plain top-level window with a given title, to own boxes.
class OwnerWindow {
  public:
    explicit OwnerWindow(const std::wstring& title) {
        hwnd_ = CreateWindowExW(0, L"STATIC", title.c_str(), WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~OwnerWindow() { DestroyWindow(hwnd_); }
    HWND Get() const { return hwnd_; }

  private:
    HWND hwnd_;
};

TEST(MessageBoxes, CaptionIsTakenFromTheOwner) {
    // As in the program, the Utils module runs, so the fallback is the product name.
    InitializeKestrelSyncObjs();
    InitializeUtils();
    const std::wstring longTitle(100, L'x');
    struct Case {
        std::wstring Title;
        bool UseOwner;
        std::wstring Expected;
    };
    const Case cases[] = {
        {L"Kestrel Rover Installation", true, L"Kestrel Rover Installation"},
        {longTitle, true, std::wstring(79, L'x')},
        {std::wstring(79, L'y'), true, std::wstring(79, L'y')},
        // No title, or no owner at all: the product name, not the system's "Error".
        {L"", true, L"Kestrel Rover"},
        {L"ignored", false, L"Kestrel Rover"},
    };
    for (const Case& c : cases) {
        OwnerWindow owner(c.Title);
        TBoxAnswerer answerer;
        EXPECT_EQ(ErrorBox(L"text", c.UseOwner ? owner.Get() : nullptr), IDOK);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        EXPECT_EQ(answerer.Boxes()[0].Caption, c.Expected);
        EXPECT_EQ(answerer.Boxes()[0].Text, L"text");
    }
}

TEST(MessageBoxes, PresetsShowTheirButtonsAndReturnThePressedOne) {
    OwnerWindow owner(L"Owner");
    struct Case {
        int (*Box)(const std::wstring&, HWND);
        int Press;
        std::vector<int> Buttons;
    };
    const Case cases[] = {
        {&ErrorBox, IDOK, {IDOK}},
        {&WarningBox, IDOK, {IDOK}},
        {&AbortRetryIgnoreBox, IDABORT, {IDABORT, IDRETRY, IDIGNORE}},
        {&AbortRetryIgnoreBox, IDRETRY, {IDABORT, IDRETRY, IDIGNORE}},
        {&AbortRetryIgnoreBox, IDIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
    };
    for (const Case& c : cases) {
        TBoxAnswerer answerer({c.Press});
        EXPECT_EQ(c.Box(L"question", owner.Get()), c.Press);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        std::vector<int> buttons = answerer.Boxes()[0].Buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, c.Buttons);
    }
}

// The seam's fakes record what reached the system calls.
struct Recorded {
    int WideCalls = 0;
    int AnsiCalls = 0;
    UINT Flags = 0;
    std::string AnsiText;
    std::string AnsiCaption;
    bool WideFails = false;
};
Recorded gRecorded;

int WINAPI FakeWide(HWND, LPCWSTR, LPCWSTR caption, UINT flags, WORD) {
    ++gRecorded.WideCalls;
    gRecorded.Flags = flags;
    EXPECT_NE(caption, nullptr);
    if (gRecorded.WideFails) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return IDOK;
}

int WINAPI FakeAnsi(HWND, LPCSTR text, LPCSTR caption, UINT flags, WORD) {
    ++gRecorded.AnsiCalls;
    gRecorded.Flags = flags;
    gRecorded.AnsiText = text;
    gRecorded.AnsiCaption = caption;
    return IDRETRY;
}

class MessageBoxSeam : public ::testing::Test {
  protected:
    void SetUp() override {
        gRecorded = Recorded();
        MessageBoxCalls() = {&FakeWide, &FakeAnsi};
        UseAnsiMessageBoxEx = false;
    }
    void TearDown() override {
        MessageBoxCalls() = RealMessageBoxCalls();
        UseAnsiMessageBoxEx = false;
    }
};

TEST_F(MessageBoxSeam, FlagsAlwaysCarryTaskModalAndForeground) {
    struct Case {
        int (*Box)(const std::wstring&, HWND);
        UINT Expected;
    };
    const Case cases[] = {
        {&ErrorBox, 0x12010}, {&WarningBox, 0x12030}, {&AbortRetryIgnoreBox, 0x12012}};
    for (const Case& c : cases) {
        c.Box(L"t", nullptr);
        EXPECT_EQ(gRecorded.Flags, c.Expected);
    }
    MsgBox(L"t", 0, nullptr);
    EXPECT_EQ(gRecorded.Flags, 0x12000u);
    EXPECT_EQ(gRecorded.AnsiCalls, 0);
}

TEST_F(MessageBoxSeam, NotImplementedSwitchesToTheAnsiCallForGood) {
    gRecorded.WideFails = true;
    EXPECT_EQ(MsgBoxCaption(L"first", MB_OK, nullptr, L"Cap"), IDRETRY);
    EXPECT_EQ(gRecorded.WideCalls, 1);
    EXPECT_EQ(gRecorded.AnsiCalls, 1); // the same box again, at once
    EXPECT_EQ(gRecorded.AnsiText, "first");
    EXPECT_EQ(gRecorded.AnsiCaption, "Cap");
    EXPECT_TRUE(UseAnsiMessageBoxEx);

    gRecorded.WideFails = false;
    EXPECT_EQ(MsgBoxCaption(L"second", MB_OK, nullptr, L""), IDRETRY);
    EXPECT_EQ(gRecorded.WideCalls, 1); // never tried again
    EXPECT_EQ(gRecorded.AnsiCalls, 2);
    EXPECT_EQ(gRecorded.AnsiText, "second");
    EXPECT_EQ(gRecorded.Flags, 0x12000u);
}

TEST_F(MessageBoxSeam, OtherFailuresDoNotSwitch) {
    struct Failing {
        static int WINAPI Wide(HWND, LPCWSTR, LPCWSTR, UINT, WORD) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    };
    MessageBoxCalls().WideBox = &Failing::Wide;
    EXPECT_EQ(MsgBoxCaption(L"x", MB_OK, nullptr, L""), 0);
    EXPECT_FALSE(UseAnsiMessageBoxEx);
    EXPECT_EQ(gRecorded.AnsiCalls, 0);
}

TEST(UnicodeToCodePage, Conversions) {
    EXPECT_EQ(UnicodeToCodePage(L"", 65001), "");
    EXPECT_EQ(UnicodeToCodePage(L"", 0), "");
    EXPECT_EQ(UnicodeToCodePage(L"abc", 65001), "abc");
    EXPECT_EQ(UnicodeToCodePage(L"\u00e9\u20ac", 65001), "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(UnicodeToCodePage(L"\U0001F600", 65001), "\xf0\x9f\x98\x80");
    EXPECT_EQ(UnicodeToCodePage(L"[autorun]", GetACP()), "[autorun]");
    // 1200 stands for the ANSI code page.
    EXPECT_EQ(UnicodeToCodePage(L"Rover \u00e9", 1200),
              UnicodeToCodePage(L"Rover \u00e9", GetACP()));
    // A character the code page lacks becomes its default character.
    const std::string lossy = UnicodeToCodePage(L"a\u4e00b", 1252);
    EXPECT_EQ(lossy.size(), 3u);
    EXPECT_EQ(lossy[0], 'a');
    EXPECT_EQ(lossy[2], 'b');
}

} // namespace
} // namespace rover
