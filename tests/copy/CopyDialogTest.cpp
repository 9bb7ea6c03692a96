// The copy dialog run for real under Wine: from a source tree onto a mapped drive, with its boxes
// answered.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <new>
#include <set>
#include <stdexcept>

#include "CopyTestDrives.h"
#include "TestHarness.h"
#include "copy/RoomCheck.h"
#include "copy/rover_setup_copy.h"
#include "destination/DriveInventory.h"
#include "resource.h"
#include "support/Handles.h"
#include "support/Utils.h"
#include "ui/Application.h"

namespace rover {
namespace {

using test::TBoxAnswerer;
using test::TTempDir;
using test::TTree;

// What a timer saw while the dialog ran its modal loop.
struct TSamples {
    int Count = 0;
    int WhileWorking = 0;
    bool AlwaysVisible = true;
    bool AlwaysWaitCursor = true;
    bool BarWentBack = false;
    int LastPosition = 0;
    std::set<std::wstring> Labels;
    int ClosesSent = 0;
    // Ticks served while the tree was still being listed, and what they saw.
    int WhileListing = 0;
    bool ListingLooksUntouched = true;
    int RepliesSent = 0;
};

TCopyProgressForm* SampledForm = nullptr;
TSamples* Samples = nullptr;
bool SendCloses = false;
// Set by a tick served while the helper lists the tree.
HANDLE ListingServed = nullptr;

// The dialog's own posts of its two steps, as it posted them.
struct TOwnPost {
    bool Seen = false;
    WPARAM W = 0;
    LPARAM L = 0;
};
TOwnPost OwnPosts[2];
bool ReplayPosts = false;

LRESULT CALLBACK RecordPosts(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && SampledForm != nullptr &&
        msg->hwnd == SampledForm->Handle() &&
        (msg->message == WM_PREPARE_COPY || msg->message == WM_RUN_COPY))
        OwnPosts[msg->message - WM_PREPARE_COPY] = {true, msg->wParam, msg->lParam};
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A second run of either step, and the dialog manager's messages of the same numbers.
void SendRepeatsAndStrays(HWND dialog) {
    for (const TOwnPost& post : OwnPosts) {
        if (post.Seen)
            SendMessageW(dialog, WM_PREPARE_COPY + static_cast<UINT>(&post - OwnPosts), post.W,
                         post.L);
    }
    SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
    SendMessageW(dialog, DM_REPOSITION, 0, 0);
    PostMessageW(dialog, WM_PREPARE_COPY, 0, 0);
    PostMessageW(dialog, WM_RUN_COPY, 0, 0);
}

// Every way a user could ask for a close: the result must stay the dialog's own.
void PostCloseRequests(HWND dialog) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

void CALLBACK Sample(HWND, UINT, UINT_PTR, DWORD) {
    if (SampledForm == nullptr || !SampledForm->Working())
        return;
    TSamples& s = *Samples;
    ++s.Count;
    ++s.WhileWorking;
    if (!IsWindowVisible(SampledForm->Handle()))
        s.AlwaysVisible = false;
    // The wait cursor comes with the copy step, once the tree is listed, and goes
    // with the animation before the installed folder is opened.
    if (SampledForm->Files() != nullptr && SampledForm->Animate.Visible() &&
        Application->ScreenCursor() != LoadCursorW(nullptr, IDC_WAIT))
        s.AlwaysWaitCursor = false;
    const int position = SampledForm->ProgressBar.Position();
    if (position < s.LastPosition)
        s.BarWentBack = true;
    s.LastPosition = position;
    s.Labels.insert(SampledForm->lFileName.Text());
    if (SampledForm->Files() == nullptr) {
        ++s.WhileListing;
        if (SampledForm->lFileName.Text() != L" " || position != 0)
            s.ListingLooksUntouched = false;
        if (ListingServed != nullptr)
            SetEvent(ListingServed);
    }
    if (ReplayPosts && OwnPosts[1].Seen) {
        SendRepeatsAndStrays(SampledForm->Handle());
        ++s.RepliesSent;
    }
    if (SendCloses && s.ClosesSent == 0) {
        PostCloseRequests(SampledForm->Handle());
        ++s.ClosesSent;
    }
}

class CopyDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        Application = &app_;
        test::ClearDrive(test::kPlainDrive);
        openLog_ = src_.Path() + L".open.log";
        DeleteFileW(openLog_.c_str());
        SetEnvironmentVariableW(L"ROVER_OPEN_LOG", openLog_.c_str());
    }
    void TearDown() override {
        app_.ProcessMessages(); // releases the closed dialogs
        Application = nullptr;
        SetEnvironmentVariableW(L"ROVER_OPEN_LOG", nullptr);
        test::ClearDrive(test::kPlainDrive);
        DeleteFileW(openLog_.c_str());
    }

    // Runs a dialog to its end; the dialog's last bar state is kept.
    int Run(const std::wstring& dstDir, TScanFunction scan = nullptr,
            const std::wstring& sourceDir = std::wstring()) {
        auto* form = new TCopyProgressForm(app_);
        form->SourceDir = sourceDir.empty() ? src_.Path() : sourceDir;
        form->DstDir = dstDir;
        if (scan)
            form->Scan = scan;
        samples_ = TSamples();
        SampledForm = form;
        Samples = &samples_;
        // Queued before the work is: they reach the dialog between its steps.
        if (SendCloses)
            PostCloseRequests(form->Handle());
        const UINT_PTR timer = SetTimer(nullptr, 0, 5, &Sample);
        const int result = form->ShowModal();
        KillTimer(nullptr, timer);
        SampledForm = nullptr;
        barPosition_ = form->ProgressBar.Position();
        barMax_ = form->ProgressBar.Max();
        animationVisible_ = form->Animate.Visible();
        label_ = form->lFileName.Text();
        caption_ = TControl(form->Handle()).Text();
        handle_ = form->Handle();
        filesFreed_ = form->Files() == nullptr;
        cursorAfter_ = app_.ScreenCursor();
        EXPECT_TRUE(form->ReleasePending()) << "the dialog must release itself";
        return result;
    }

    // The folders the shell was asked to open, each with its working folder.
    // The end of a run whose listing failed on `folder`: its box owned by the dialog, Retry,
    // and nothing written or opened.
    void ExpectUnreadFolderEnd(int result, const TBoxAnswerer& answerer,
                               const std::wstring& folder) {
        EXPECT_EQ(result, IDRETRY);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        EXPECT_EQ(answerer.Boxes()[0].Text, L"Cannot read folder \"" + folder + L"\"\r\n\r\n" +
                                                Win32ErrorText(ERROR_ACCESS_DENIED));
        EXPECT_EQ(answerer.Boxes()[0].Owner, handle_);
        EXPECT_FALSE(test::DirExists(L"J:\\Rover"));
        EXPECT_FALSE(test::FileExists(L"J:\\autorun.inf"));
        EXPECT_TRUE(filesFreed_);
        EXPECT_EQ(cursorAfter_, nullptr);
        EXPECT_EQ(OpenLog(0), "");
    }

    std::string OpenLog(size_t expectedLines) {
        std::string bytes;
        test::PumpUntil(
            [&] {
                bytes.clear();
                test::ReadFileBytes(openLog_, bytes);
                size_t lines = 0;
                for (char c : bytes)
                    lines += c == '\n';
                return lines >= expectedLines;
            },
            10000);
        return bytes;
    }

    static TTree WithoutSetup(TTree tree) {
        tree.erase(L"rover_setup.exe");
        return tree;
    }

    TApplication app_{GetModuleHandleW(nullptr)};
    TTempDir src_{L"src"};
    std::wstring openLog_;
    TSamples samples_;
    int barPosition_ = -1, barMax_ = -1;
    bool animationVisible_ = true;
    std::wstring label_, caption_;
    HWND handle_ = nullptr;
    bool filesFreed_ = false;
    HCURSOR cursorAfter_ = reinterpret_cast<HCURSOR>(1);
};

const std::string kAutorun = "[autorun]\r\nopen=\\Rover\\rover.exe\r\nicon=\\Rover\\rover.exe,0\r\n"
                             "label=Kestrel Rover\r\n";

TTree Distribution(int extraFiles) {
    TTree tree = {
        {L"rover_setup.exe", "MZ the setup itself"},
        {L"rover.exe", std::string(300000, 'r')},
        {L"speller\\userdic.tlx", "shipped dictionary"},
        {L"speller\\en.tlx", std::string(5000, 'e')},
        {L"themes\\dark\\theme.ini", "[theme]\r\n"},
        {L"Hidden.DAT", "h"},
    };
    for (int i = 0; i < extraFiles; ++i)
        tree[L"data\\f" + std::to_wstring(i) + L".bin"] =
            std::string(4096, static_cast<char>('a' + i % 26));
    return tree;
}

TEST_F(CopyDialog, InstallsTheTreeWritesAutorunAndOpensTheFolder) {
    const TTree source = Distribution(150);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"J:\\Rover\\"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());

    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), WithoutSetup(source));
    std::string autorun;
    EXPECT_TRUE(test::ReadFileBytes(L"J:\\autorun.inf", autorun));
    EXPECT_EQ(autorun, kAutorun);
    EXPECT_EQ(OpenLog(1), "J:\\Rover|J:\\Rover\r\n");

    EXPECT_EQ(caption_, L"Installing Rover ");
    EXPECT_GT(barMax_, 0);
    EXPECT_EQ(barPosition_, barMax_) << "the bar is full at the end";
    EXPECT_FALSE(animationVisible_);
    EXPECT_EQ(label_, L"J:\\autorun.inf");

    ASSERT_GT(samples_.WhileWorking, 0) << "the window was never serviced during the copy";
    EXPECT_TRUE(samples_.AlwaysVisible) << "the dialog worked without being on screen";
    EXPECT_TRUE(samples_.AlwaysWaitCursor);
    EXPECT_EQ(cursorAfter_, nullptr) << "the cursor from before the copy comes back";
    EXPECT_TRUE(filesFreed_) << "the file list is freed when the dialog closes";
    EXPECT_FALSE(samples_.BarWentBack);
    // The label names the file being copied, without its leading backslash.
    std::set<std::wstring> allowed = {L" ", L"J:\\autorun.inf"};
    for (const auto& file : source)
        allowed.insert(file.first);
    bool sawAFile = false;
    for (const std::wstring& label : samples_.Labels) {
        EXPECT_TRUE(allowed.count(label)) << "label showed an unknown text";
        sawAFile |= source.count(label) != 0;
    }
    EXPECT_TRUE(sawAFile);
}

TEST_F(CopyDialog, LooksAsDesignedBeforeItIsShown) {
    TCopyProgressForm form(app_);
    EXPECT_EQ(TControl(form.Handle()).Text(), L"Installing Rover ");
    const LONG_PTR style = GetWindowLongPtrW(form.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) << "no caption buttons";
    RECT client;
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, form.Scale(323));
    EXPECT_EQ(client.bottom, form.Scale(168));
    EXPECT_EQ(form.lFileName.Text(), L" ");
    EXPECT_EQ(form.ProgressBar.Max(), 100);
    EXPECT_EQ(form.ProgressBar.Position(), 0);
    EXPECT_TRUE(GetWindowLongPtrW(form.Animate.Handle(), GWL_STYLE) & WS_VISIBLE);
    RECT clip;
    GetWindowRect(form.Animate.Handle(), &clip);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&clip), 2);
    const RECT frame = {form.Scale(24), form.Scale(16), form.Scale(24) + form.Scale(272),
                        form.Scale(16) + form.Scale(60)};
    const RECT expected = ClipPlace(frame, 272, 60);
    EXPECT_TRUE(EqualRect(&clip, &expected))
        << clip.left << "," << clip.top << " " << clip.right << "," << clip.bottom;
    EXPECT_EQ(form.SourceDir, DefaultSourceDir());
}

TEST_F(CopyDialog, TheWindowIsServedWhileTheTreeIsListed) {
    TTree source = {{L"rover_setup.exe", "MZ"}};
    for (int i = 0; i < 60; ++i)
        source[L"d" + std::to_wstring(i) + L"\\e\\f.txt"] = "f" + std::to_string(i);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    // The listing waits until the dialog's thread has served a tick: it can
    // only get one while the listing runs elsewhere.
    TKernelHandle served(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ListingServed = served.Get();
    bool timedOut = false;
    const int result = Run(L"J:\\Rover", [&](const std::wstring& abs, const std::wstring& rel,
                                             TCopyFileList& list, std::int64_t& total,
                                             TScanFailure* failure, const std::wstring& skip) {
        timedOut = WaitForSingleObject(ListingServed, 5000) != WAIT_OBJECT_0;
        return ScanSourceFolder(abs, rel, list, total, failure, skip);
    });
    ListingServed = nullptr;
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(timedOut) << "the window was not served while the tree was listed";
    EXPECT_GT(samples_.WhileListing, 0);
    EXPECT_TRUE(samples_.ListingLooksUntouched) << "label or bar changed while listing";
    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), WithoutSetup(source));
}

TEST_F(CopyDialog, AFolderThatCannotBeReadEndsWithRetryBeforeAnythingIsWritten) {
    ASSERT_TRUE(test::WriteTree(src_.Path(), Distribution(0)));
    const std::wstring locked = src_.Path() + L"\\locked";
    TBoxAnswerer answerer;
    const int result = Run(L"J:\\Rover", [&](const std::wstring& abs, const std::wstring& rel,
                                             TCopyFileList& list, std::int64_t& total,
                                             TScanFailure* failure, const std::wstring& skip) {
        ScanSourceFolder(abs, rel, list, total, failure, skip);
        *failure = {locked, ERROR_ACCESS_DENIED};
        return false;
    });
    ExpectUnreadFolderEnd(result, answerer, locked);
}

// The same for real: tests/copy/unprivileged.sh closes the folder to the user it runs this as.
TEST_F(CopyDialog, AFolderClosedForRealEndsWithRetryBeforeAnythingIsWritten) {
    const std::wstring source = test::ClosedFolderFixture();
    if (source.empty())
        GTEST_SKIP() << "runs in the unprivileged run only (tests/copy/unprivileged.sh)";
    TBoxAnswerer answerer;
    const int result = Run(L"J:\\Rover", nullptr, source);
    ExpectUnreadFolderEnd(result, answerer, source + L"\\locked");
}

TEST_F(CopyDialog, AnExceptionInThePreparationEndsWithABoxAndRetry) {
    ASSERT_TRUE(test::WriteTree(src_.Path(), Distribution(0)));
    const struct {
        std::function<void()> Throw;
        DWORD Error;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, ERROR_NOT_ENOUGH_MEMORY},
        {[] { throw std::runtime_error("broken"); }, ERROR_INTERNAL_ERROR},
    };
    for (const auto& c : cases) {
        TBoxAnswerer answerer;
        const int result =
            Run(L"J:\\Rover", [&](const std::wstring&, const std::wstring&, TCopyFileList& list,
                                  std::int64_t&, TScanFailure*, const std::wstring&) {
                list.push_back(new TCopyFile{L"\\listed.txt", 1, false});
                c.Throw();
                return true;
            });
        EXPECT_EQ(result, IDRETRY);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        EXPECT_EQ(answerer.Boxes()[0].Text,
                  L"Cannot install Kestrel Rover to \"J:\\Rover\"\r\n\r\n" +
                      Win32ErrorText(c.Error));
        EXPECT_EQ(answerer.Boxes()[0].Owner, handle_);
        EXPECT_FALSE(test::DirExists(L"J:\\Rover"));
        EXPECT_TRUE(filesFreed_);
    }
}

TEST_F(CopyDialog, RepeatedStepsAndTheDialogManagersMessagesChangeNothing) {
    const TTree source = Distribution(150);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    OwnPosts[0] = OwnPosts[1] = TOwnPost();
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &RecordPosts, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    ReplayPosts = true;
    TBoxAnswerer answerer;
    const int result = Run(L"J:\\Rover");
    ReplayPosts = false;
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(OwnPosts[0].Seen && OwnPosts[1].Seen);
    ASSERT_GT(samples_.RepliesSent, 0) << "nothing was sent while the dialog worked";
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), WithoutSetup(source));
    EXPECT_EQ(OpenLog(1), "J:\\Rover|J:\\Rover\r\n") << "the copy ran more than once";
    EXPECT_FALSE(samples_.BarWentBack);
}

TEST(ClipPlace, CentresTheClipInItsFrame) {
    const struct {
        RECT Frame;
        RECT Clip;
    } cases[] = {
        {{24, 16, 296, 76}, {24, 16, 296, 76}},    // 96 DPI: the frame is the clip
        {{36, 24, 444, 114}, {104, 39, 376, 99}},  // 144 DPI
        {{48, 32, 592, 152}, {184, 62, 456, 122}}, // 192 DPI
        {{18, 12, 222, 57}, {-16, 5, 256, 65}},    // 72 DPI: it overlaps the frame
    };
    for (const auto& c : cases) {
        const RECT place = ClipPlace(c.Frame, 272, 60);
        EXPECT_EQ(place.left, c.Clip.left);
        EXPECT_EQ(place.top, c.Clip.top);
        EXPECT_EQ(place.right, c.Clip.right);
        EXPECT_EQ(place.bottom, c.Clip.bottom);
    }
}

TEST_F(CopyDialog, CloseRequestsAreIgnoredWhileItWorks) {
    const TTree source = Distribution(150);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    SendCloses = true;
    const int result = Run(L"J:\\Rover");
    SendCloses = false;
    ASSERT_EQ(samples_.ClosesSent, 1);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), WithoutSetup(source));
}

TEST_F(CopyDialog, AnEmptySourceStillFinishes) {
    ASSERT_TRUE(test::WriteTree(src_.Path(), {{L"Rover_Setup.exe", "MZ"}}));
    EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
    EXPECT_TRUE(test::DirExists(L"J:\\Rover"));
    EXPECT_TRUE(test::ReadTree(L"J:\\Rover").empty());
    EXPECT_EQ(barMax_, 0);
    EXPECT_EQ(barPosition_, 0);
    EXPECT_TRUE(test::FileExists(L"J:\\autorun.inf"));
    EXPECT_EQ(OpenLog(1), "J:\\Rover|J:\\Rover\r\n");
}

TEST_F(CopyDialog, AReinstallKeepsTheUsersDictionaryAndReplacesTheRest) {
    TTree source = Distribution(0);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    ASSERT_EQ(Run(L"J:\\Rover"), IDOK);
    ASSERT_TRUE(test::WriteFileBytes(L"J:\\Rover\\speller\\userdic.tlx", "the user's own words"));
    // A newer client, with files before and after the dictionary in the list.
    source[L"rover.exe"] = "MZ version 2";
    source[L"themes\\dark\\theme.ini"] = "[theme] v2";
    source[L"speller\\en.tlx"] = "en v2";
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    TTree expected = WithoutSetup(source);
    expected[L"speller\\userdic.tlx"] = "the user's own words";
    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), expected);
}

// Files unpacked from a CD or an archive are often read-only. Windows refuses to replace a
// read-only or hidden file; so does Wine in the unprivileged run (tests/copy/unprivileged.sh).
TEST_F(CopyDialog, AReinstallOverReadOnlyAndHiddenFilesCompletes) {
    TTree source = Distribution(0);
    source[L"docs\\readme.txt"] = "read me";
    const std::wstring readme = src_ / L"docs\\readme.txt";
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    ASSERT_TRUE(test::SetAttributes(readme, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(test::SetAttributes(src_ / L"Hidden.DAT", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(Run(L"J:\\Rover"), IDOK);
    const std::wstring dictionary = L"J:\\Rover\\speller\\userdic.tlx";
    const DWORD dictionaryAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(test::WriteFileBytes(dictionary, "the user's own words"));
    ASSERT_TRUE(test::SetAttributes(dictionary, dictionaryAttributes));

    source[L"rover.exe"] = "MZ version 2";
    source[L"docs\\readme.txt"] = "read me, version 2";
    test::SetAttributes(readme, FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    ASSERT_TRUE(test::SetAttributes(readme, FILE_ATTRIBUTE_READONLY));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    TTree expected = WithoutSetup(source);
    expected[L"speller\\userdic.tlx"] = "the user's own words";
    EXPECT_EQ(test::ReadTree(L"J:\\Rover"), expected);
    const DWORD shown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(GetFileAttributesW(dictionary.c_str()) & shown, dictionaryAttributes);
    EXPECT_EQ(GetFileAttributesW(L"J:\\Rover\\docs\\readme.txt") & shown,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    test::SetAttributes(readme, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyDialog, ExistingAutorunIsLeftAndAFolderInItsPlaceOnlyWarns) {
    ASSERT_TRUE(test::WriteTree(src_.Path(), Distribution(0)));
    ASSERT_TRUE(test::WriteFileBytes(L"J:\\autorun.inf", "[autorun]\nopen=other.exe"));
    {
        TBoxAnswerer answerer;
        EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
        EXPECT_TRUE(answerer.Boxes().empty());
        std::string bytes;
        EXPECT_TRUE(test::ReadFileBytes(L"J:\\autorun.inf", bytes));
        EXPECT_EQ(bytes, "[autorun]\nopen=other.exe");
        EXPECT_NE(label_, L"J:\\autorun.inf");
    }
    DeleteFileW(L"J:\\autorun.inf");
    ASSERT_TRUE(test::MakeDirs(L"J:\\autorun.inf"));
    {
        TBoxAnswerer answerer;
        // The warning comes after the last file: the bar must already stand at its end,
        // counted in the same 1024-byte steps as its range.
        int position = -1, maximum = -2;
        answerer.OnShow = [&](HWND box) {
            HWND bar = GetDlgItem(GetWindow(box, GW_OWNER), IDC_COPY_PROGRESSBAR);
            position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
            maximum = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
        };
        EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        const test::TSeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(box.Caption, L"Installing Rover ");
        EXPECT_EQ(box.Owner, handle_);
        EXPECT_EQ(box.Text, L"Cannot create file \"J:\\autorun.inf\". " +
                                Win32ErrorText(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(test::DirExists(L"J:\\autorun.inf"));
        EXPECT_GT(maximum, 250);
        EXPECT_EQ(position, maximum);
    }
    EXPECT_EQ(OpenLog(2), "J:\\Rover|J:\\Rover\r\nJ:\\Rover|J:\\Rover\r\n");
}

TEST_F(CopyDialog, AFileInTheWayOfASubfolderEndsWithRetry) {
    ASSERT_TRUE(test::WriteTree(src_.Path(), Distribution(0)));
    ASSERT_TRUE(test::MakeDirs(L"J:\\Rover"));
    ASSERT_TRUE(test::WriteFileBytes(L"J:\\Rover\\speller", "not a folder"));
    bool visibleAtBox = false;
    TBoxAnswerer answerer;
    answerer.OnShow = [&](HWND box) { visibleAtBox = IsWindowVisible(GetWindow(box, GW_OWNER)); };
    EXPECT_EQ(Run(L"J:\\Rover"), IDRETRY);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].Text, L"Cannot create directory \"J:\\Rover\\speller\"\r\n\r\n" +
                                            Win32ErrorText(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(answerer.Boxes()[0].Owner, handle_);
    EXPECT_TRUE(visibleAtBox);
    EXPECT_FALSE(animationVisible_);
    EXPECT_EQ(label_.substr(0, 8), L"speller\\") << "the label names the file that failed";
    EXPECT_FALSE(test::FileExists(L"J:\\autorun.inf"));
}

TEST_F(CopyDialog, AReadOnlyDriveEndsWithRetryAndTheSystemsText) {
    if (!test::DriveMounted(test::kReadOnlyDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kReadOnlyDrive);
    ASSERT_TRUE(test::WriteTree(src_.Path(), Distribution(0)));
    ASSERT_FALSE(CreateDirectoryW(L"L:\\Rover", nullptr));
    const DWORD code = GetLastError();
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"L:\\Rover"), IDRETRY);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].Caption, L"Installing Rover ");
    EXPECT_EQ(answerer.Boxes()[0].Text,
              L"Cannot install Kestrel Rover to \"L:\\Rover\"\r\n\r\n" + Win32ErrorText(code));
    EXPECT_EQ(answerer.Boxes()[0].Buttons, std::vector<int>{IDOK});
    EXPECT_EQ(OpenLog(0), "");
}

// The drive's free space cannot be read, as on a network drive that does not answer.
BOOL WINAPI UnreadableFreeSpace(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
}

struct TFreeSpaceSeam {
    explicit TFreeSpaceSeam(bool unreadable) {
        if (unreadable)
            FreeSpaceQueryCalls().GetDiskFreeSpaceEx = &UnreadableFreeSpace;
    }
    ~TFreeSpaceSeam() { FreeSpaceQueryCalls() = RealFreeSpaceQueryCalls(); }
};

std::uint64_t FreeOn(const std::wstring& root) {
    ULARGE_INTEGER free = {}, total, totalFree;
    GetDiskFreeSpaceExW(root.c_str(), &free, &total, &totalFree);
    return free.QuadPart;
}

TEST_F(CopyDialog, TooLittleRoomIsFoundBeforeAnythingIsWrittenUnlessItCannotBeKnown) {
    if (!test::DriveMounted(test::kSmallDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kSmallDrive);
    TTree big = Distribution(0);
    big[L"big.bin"] = std::string(2 * 1024 * 1024, 'b');
    // Small files that fit by their sizes but not by the drive's blocks.
    TTree small = {{L"rover_setup.exe", "MZ"}};
    for (int i = 0; i < 400; ++i)
        small[L"many\\f" + std::to_wstring(i) + L".txt"] = std::string(100, 'm');
    const struct {
        const char* Name;
        const TTree& Source;
        bool FreeSpaceUnreadable;
        bool RoomBox;
    } cases[] = {
        {"too big", big, false, true},
        {"too big, free space unknown", big, true, false},
        {"full only by its blocks", small, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        test::ClearDrive(test::kSmallDrive);
        test::RemoveTree(src_.Path());
        ASSERT_TRUE(test::WriteTree(src_.Path(), c.Source));
        const std::uint64_t free = FreeOn(L"K:\\");
        std::int64_t needed = 0;
        for (const auto& file : WithoutSetup(c.Source))
            needed += static_cast<std::int64_t>(file.second.size());
        TFreeSpaceSeam seam(c.FreeSpaceUnreadable);
        TBoxAnswerer answerer;
        EXPECT_EQ(Run(L"K:\\Rover"), IDRETRY);
        ASSERT_EQ(answerer.Boxes().size(), 1u);
        const std::wstring& text = answerer.Boxes()[0].Text;
        EXPECT_EQ(answerer.Boxes()[0].Owner, handle_);
        if (c.RoomBox) {
            EXPECT_EQ(text, L"Not enough free space on K:\r\n\r\nKestrel Rover needs " +
                                FormatSize(static_cast<long long>(needed - free)) + L" more.");
            EXPECT_FALSE(test::DirExists(L"K:\\Rover")) << "something was written";
            EXPECT_EQ(label_, L" ");
        } else {
            const std::wstring tail = L"\r\n\r\n" + Win32ErrorText(ERROR_DISK_FULL);
            EXPECT_EQ(text.substr(0, 18), L"Cannot copy file \"");
            ASSERT_GT(text.size(), tail.size());
            EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
        }
        EXPECT_FALSE(animationVisible_);
        EXPECT_FALSE(test::FileExists(L"K:\\autorun.inf"));
    }
    test::ClearDrive(test::kSmallDrive);
}

TEST_F(CopyDialog, AReinstallOfTheSameSizesFitsOntoANearlyFullDrive) {
    if (!test::DriveMounted(test::kSmallDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kSmallDrive);
    test::ClearDrive(test::kSmallDrive);
    TTree source = Distribution(0);
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    ASSERT_EQ(Run(L"K:\\Rover"), IDOK);
    // Leaves a few blocks, far less than the installation's size.
    const std::uint64_t free = FreeOn(L"K:\\");
    ASSERT_GT(free, 16384u);
    ASSERT_TRUE(test::WriteFileBytes(L"K:\\filler", std::string(free - 16384, 'f')));
    ASSERT_LT(FreeOn(L"K:\\"), 300000u);
    source[L"rover.exe"] = std::string(300000, 'R'); // a new build of the same size
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"K:\\Rover"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(test::ReadTree(L"K:\\Rover"), WithoutSetup(source));
    test::ClearDrive(test::kSmallDrive);
}

TEST_F(CopyDialog, AnAutorunThatCannotBeWrittenIsRemovedAndOnlyWarns) {
    if (!test::DriveMounted(test::kTinyDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kTinyDrive);
    test::ClearDrive(test::kTinyDrive);
    ASSERT_TRUE(test::WriteTree(src_.Path(), {{L"rover_setup.exe", "MZ"}}));
    const std::wstring filler = std::wstring(test::kTinyDrive) + L"\\filler";
    HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const std::string block(4096, 'f');
    while (WriteFile(file, block.data(), 4096, &written, nullptr) && written != 0) {
    }
    while (WriteFile(file, "f", 1, &written, nullptr) && written != 0) {
    }
    CloseHandle(file);
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"M:\\Rover"), IDOK);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].Text, L"Stream write error");
    EXPECT_FALSE(test::FileExists(L"M:\\autorun.inf"));
    test::ClearDrive(test::kTinyDrive);
}

// Distributions are often unpacked straight onto the stick they are installed to.
TEST_F(CopyDialog, ADistributionAtTheDrivesRootInstalledTwiceNestsNoRover) {
    const std::wstring drive = test::kRootSourceDrive;
    test::ClearDrive(drive);
    const TTree source = Distribution(0);
    ASSERT_TRUE(test::WriteTree(drive, source));
    for (int run = 0; run < 2; ++run) {
        TBoxAnswerer answerer;
        EXPECT_EQ(Run(drive + L"\\Rover", nullptr, drive + L"\\"), IDOK) << "run " << run;
        EXPECT_TRUE(answerer.Boxes().empty());
    }
    const TTree installed = test::ReadTree(drive + L"\\Rover");
    for (const auto& file : WithoutSetup(source)) {
        const auto found = installed.find(file.first);
        EXPECT_TRUE(found != installed.end() && found->second == file.second)
            << std::string(file.first.begin(), file.first.end());
    }
    EXPECT_FALSE(test::DirExists(drive + L"\\Rover\\Rover")) << "the first installation was copied";
    test::ClearDrive(drive);
}

TEST_F(CopyDialog, ASetupStartedFromTheInstalledFolderFinishesInPlace) {
    const std::wstring drive = test::kRootSourceDrive;
    test::ClearDrive(drive);
    TTree source = Distribution(0);
    source[L".hidden.ini"] = "[hidden]";
    ASSERT_TRUE(test::WriteTree(drive + L"\\Rover", source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(drive + L"\\Rover", nullptr, drive + L"\\Rover"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(test::ReadTree(drive + L"\\Rover"), source);
    std::string autorun;
    EXPECT_TRUE(test::ReadFileBytes(drive + L"\\autorun.inf", autorun));
    EXPECT_EQ(autorun, kAutorun);
    test::ClearDrive(drive);
}

TEST_F(CopyDialog, AThreeHundredCharacterTargetPathInstalls) {
    // Ten levels of 28 characters: J:\Rover\ and the file's name take it past 300.
    std::wstring deep;
    for (int level = 0; level < 10; ++level)
        deep += L"a-folder-name-of-28-letters" + std::to_wstring(level) + L"\\";
    const std::wstring name = deep + L"mail.dat";
    ASSERT_GE(std::wstring(L"J:\\Rover\\").size() + name.size(), 300u);
    TTree source = {{L"rover_setup.exe", "MZ"}, {L"rover.exe", "client"}, {name, "deep down"}};
    ASSERT_TRUE(test::WriteTree(L"\\\\?\\" + src_.Path(), source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"J:\\Rover"), IDOK);
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(test::ReadTree(L"\\\\?\\J:\\Rover"), WithoutSetup(source));
}

} // namespace
} // namespace rover
