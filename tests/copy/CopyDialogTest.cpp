// The copy dialog run for real under Wine: from a source tree onto a mapped drive, with its boxes
// answered.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <set>

#include "CopyTestDrives.h"
#include "TestHarness.h"
#include "copy/rover_setup_copy.h"
#include "resource.h"
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
};

TCopyProgressForm* SampledForm = nullptr;
TSamples* Samples = nullptr;
bool SendCloses = false;

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
    if (Application->ScreenCursor() != LoadCursorW(nullptr, IDC_WAIT))
        s.AlwaysWaitCursor = false;
    const int position = SampledForm->ProgressBar.Position();
    if (position < s.LastPosition)
        s.BarWentBack = true;
    s.LastPosition = position;
    s.Labels.insert(SampledForm->lFileName.Text());
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
    int Run(const std::wstring& dstDir, const std::wstring& sourceDir = std::wstring()) {
        auto* form = new TCopyProgressForm(app_);
        form->SourceDir = sourceDir.empty() ? src_.Path() : sourceDir;
        form->DstDir = dstDir;
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
    EXPECT_EQ(form.SourceDir, DefaultSourceDir());
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

TEST_F(CopyDialog, AFullDriveEndsWithRetryAndTheDiskFullText) {
    if (!test::DriveMounted(test::kSmallDrive))
        GTEST_SKIP() << test::MountSkipMessage(test::kSmallDrive);
    test::ClearDrive(test::kSmallDrive);
    TTree source = Distribution(0);
    source[L"big.bin"] = std::string(2 * 1024 * 1024, 'b');
    ASSERT_TRUE(test::WriteTree(src_.Path(), source));
    TBoxAnswerer answerer;
    EXPECT_EQ(Run(L"K:\\Rover"), IDRETRY);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].Text, L"Cannot copy file \"" + src_.Path() +
                                            L"\\big.bin\" to \"K:\\Rover\\big.bin\"\r\n\r\n" +
                                            Win32ErrorText(ERROR_DISK_FULL));
    EXPECT_EQ(label_, L"big.bin");
    EXPECT_FALSE(test::FileExists(L"K:\\autorun.inf"));
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
        EXPECT_EQ(Run(drive + L"\\Rover", drive + L"\\"), IDOK) << "run " << run;
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
    EXPECT_EQ(Run(drive + L"\\Rover", drive + L"\\Rover"), IDOK);
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
