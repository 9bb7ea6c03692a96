// Drive dialog: layout, the prefix's real drives, keys and mouse, device changes and closing.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "DialogDriving.h"
#include "TestHarness.h"
#include "destination/DriveInventory.h"
#include "destination/rover_setup_select_drive.h"
#include "resource.h"
#include "ui/Application.h"

namespace rover {
namespace {

using namespace rover::test;

constexpr wchar_t kCaption[] = L"Kestrel Rover Installation - Select Drive To Install";

// Passes GetLogicalDrives through and notes when each fill asked it.
std::vector<DWORD> gFillTimes;
DWORD WINAPI NotingGetLogicalDrives() {
    gFillTimes.push_back(GetTickCount());
    return ::GetLogicalDrives();
}

class DriveDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        gFillTimes.clear();
        DriveQueryCalls().GetLogicalDrives = &NotingGetLogicalDrives;
    }
    void TearDown() override { DriveQueryCalls() = RealDriveQueryCalls(); }

    // A dialog shown and activated, but driven without its modal loop.
    TRoveDestinationForm& Open() {
        form_ = new TRoveDestinationForm(app_);
        form_->Show();
        PumpMessages(30);
        return *form_;
    }
    HWND List() const { return form_->ListView.Handle(); }
    bool InstallEnabled() const { return IsWindowEnabled(form_->bInstall.Handle()) != FALSE; }
    void Click(const std::wstring& caption) {
        const int row = FindRow(List(), caption);
        ASSERT_GE(row, 0) << "no row";
        SendClick(List(), RowPoint(List(), row));
    }
    // A point of the list below its last row.
    POINT EmptySpace() const {
        const int count = static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0));
        POINT last = RowPoint(List(), count - 1);
        RECT client;
        GetClientRect(List(), &client);
        return POINT{last.x, (last.y + client.bottom) / 2};
    }
    // Windows' list view may give its first row the focus, without selecting it, when it
    // first receives the keyboard focus; Wine's never does. Setting that state reproduces it.
    void FocusWithoutSelecting(int row) {
        LVITEMW state = {};
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        state.state = LVIS_FOCUSED;
        SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&state));
    }
    void DeviceChange(WPARAM event = 7 /* DBT_DEVNODES_CHANGED */) {
        EXPECT_EQ(SendMessageW(form_->Handle(), WM_DEVICECHANGE, event, 0), TRUE);
    }
    bool WaitForFills(size_t count) {
        return PumpUntil([count] { return gFillTimes.size() >= count; }, 5000);
    }

    TApplication app_{GetModuleHandleW(nullptr)};
    TRoveDestinationForm* form_ = nullptr;
};

RECT RectIn(HWND parent, HWND child) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

TEST_F(DriveDialog, LayoutAndControls) {
    TRoveDestinationForm& form = Open();
    const HWND dlg = form.Handle();
    EXPECT_EQ(TextOf(dlg), kCaption);
    EXPECT_TRUE(IsWindowVisible(dlg));

    const LONG style = GetWindowLongW(dlg, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);

    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)), sizeof(font), &font);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");

    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, form.Scale(647));
    EXPECT_EQ(client.bottom, form.Scale(397));
    struct Place {
        int Id;
        int Left, Top, Width, Height;
        const wchar_t* Text;
    };
    const Place places[] = {
        {IDC_DEST_LABEL, 16, 16, 237, 13, L"Please select drive to install Kestrel Rover files"},
        {IDC_DEST_LIST, 16, 32, 609, 297, L""},
        {IDC_DEST_INSTALL, 536, 344, 75, 25, L"Install"},
        {IDC_DEST_EXIT, 440, 344, 75, 25, L"Exit"},
    };
    for (const Place& p : places) {
        const RECT rc = RectIn(dlg, form.Item(p.Id));
        EXPECT_EQ(rc.left, form.Scale(p.Left)) << p.Id;
        EXPECT_EQ(rc.top, form.Scale(p.Top)) << p.Id;
        if (p.Id == IDC_DEST_LABEL) {
            // The prompt may only grow, to hold its text in a wider font.
            HDC dc = GetDC(form.Item(p.Id));
            SelectObject(
                dc, reinterpret_cast<HGDIOBJ>(SendMessageW(form.Item(p.Id), WM_GETFONT, 0, 0)));
            SIZE extent = {};
            GetTextExtentPoint32W(dc, p.Text, lstrlenW(p.Text), &extent);
            ReleaseDC(form.Item(p.Id), dc);
            EXPECT_EQ(rc.right - rc.left, std::max<LONG>(form.Scale(p.Width), extent.cx));
        } else {
            EXPECT_EQ(rc.right - rc.left, form.Scale(p.Width)) << p.Id;
        }
        EXPECT_EQ(rc.bottom - rc.top, form.Scale(p.Height)) << p.Id;
        EXPECT_EQ(TextOf(form.Item(p.Id)), p.Text) << p.Id;
    }

    RECT window, work;
    GetWindowRect(dlg, &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);

    // Install is the default button (Enter) and starts disabled; Exit is the cancel button.
    const HWND install = form.bInstall.Handle();
    EXPECT_EQ(GetWindowLongW(install, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_FALSE(InstallEnabled());
    EXPECT_EQ(GetDlgCtrlID(form.bExit.Handle()), IDCANCEL);

    const LONG listStyle = GetWindowLongW(List(), GWL_STYLE);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    const LONG required = LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_NOSORTHEADER | WS_TABSTOP;
    EXPECT_EQ(listStyle & required, required);
    EXPECT_EQ(listStyle & LVS_EDITLABELS, 0);
    EXPECT_TRUE(SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(GetWindowLongW(header, GWL_STYLE) & HDS_BUTTONS, 0);

    struct Column {
        const wchar_t* Title;
        int Width;
        int Format;
    };
    const Column columns[] = {{L"Drive", 50, LVCFMT_LEFT},
                              {L"Name", 150, LVCFMT_LEFT},
                              {L"Type", 150, LVCFMT_LEFT},
                              {L"Total Size", 100, LVCFMT_RIGHT},
                              {L"Free Space", 100, LVCFMT_RIGHT}};
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 5);
    for (int i = 0; i < 5; ++i) {
        wchar_t title[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.pszText = title;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(List(), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(title, columns[i].Title);
        EXPECT_EQ(column.cx, form.Scale(columns[i].Width)) << i;
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, columns[i].Format) << i;
    }

    // Tab order: the list, Install, Exit; the label stands just before the list it names.
    std::vector<int> order;
    for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(child));
    EXPECT_EQ(order,
              (std::vector<int>{IDC_DEST_LABEL, IDC_DEST_LIST, IDC_DEST_INSTALL, IDC_DEST_EXIT}));
    EXPECT_EQ(GetFocus(), List());
    Click(L" R:");
    EXPECT_EQ(GetNextDlgTabItem(dlg, List(), FALSE), install);
    EXPECT_EQ(GetNextDlgTabItem(dlg, install, FALSE), form.bExit.Handle());
    EXPECT_EQ(GetNextDlgTabItem(dlg, form.bExit.Handle(), FALSE), List());
}

TEST_F(DriveDialog, ListsTheRealDrivesInLetterOrder) {
    Open();
    const auto rows = ListRows(List());
    const DWORD mask = ::GetLogicalDrives();
    std::vector<std::wstring> expectedCaptions;
    for (int i = 0; i < 26; ++i) {
        if (mask & (1u << i))
            expectedCaptions.push_back(std::wstring{L' ', static_cast<wchar_t>(L'A' + i), L':'});
    }
    std::vector<std::wstring> captions;
    for (const auto& row : rows)
        captions.push_back(row[0]);
    EXPECT_EQ(captions, expectedCaptions);

    // The prefix's test drives: a labelled removable drive, a CD drive, a letter without its
    // folder.
    const int removable = FindRow(List(), L" R:");
    ASSERT_GE(removable, 0);
    EXPECT_EQ(rows[removable][1], L"ROVERSTICK");
    EXPECT_EQ(rows[removable][2], L"Removable Drive");
    EXPECT_NE(rows[removable][3], L"");
    EXPECT_NE(rows[removable][4], L"");
    const int cd = FindRow(List(), L" S:");
    ASSERT_GE(cd, 0);
    EXPECT_EQ(rows[cd][2], L"CD Drive");
    const int missing = FindRow(List(), L" T:");
    ASSERT_GE(missing, 0);
    EXPECT_EQ(rows[missing][1], L"");
    EXPECT_EQ(rows[missing][3], L"");
    EXPECT_EQ(rows[missing][4], L"");
    const int system = FindRow(List(), L" C:");
    ASSERT_GE(system, 0);
    EXPECT_EQ(rows[system][2], L"Local Disk");

    // Icons: the shell's own image list and each root's index in it.
    SHFILEINFOW info = {};
    const auto images = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
              images);
    for (const std::wstring root : {L"C:\\", L"R:\\", L"S:\\"}) {
        SHFILEINFOW icon = {};
        ASSERT_NE(SHGetFileInfoW(root.c_str(), 0, &icon, sizeof(icon), 0x4600), 0u);
        EXPECT_EQ(form_->ListView.ItemImage(FindRow(List(), L" " + root.substr(0, 2))), icon.iIcon);
    }
    // The list shares the system's image list and must leave it alive.
    delete form_;
    form_ = nullptr;
    EXPECT_GT(ImageList_GetImageCount(images), 0);
}

TEST_F(DriveDialog, InstallFollowsTheSelectedRowWhateverSelectedIt) {
    Open();
    EXPECT_EQ(FocusedRow(List()), -1);
    EXPECT_EQ(SelectedRow(List()), -1);
    EXPECT_FALSE(InstallEnabled());

    // A focused row that nobody selected is no choice.
    FocusWithoutSelecting(0);
    EXPECT_EQ(FocusedRow(List()), 0);
    EXPECT_EQ(SelectedRow(List()), -1);
    EXPECT_FALSE(InstallEnabled());

    Click(L" R:");
    EXPECT_EQ(SelectedRow(List()), FindRow(List(), L" R:"));
    EXPECT_TRUE(InstallEnabled());

    // Keys alone, in a fresh dialog.
    Open();
    SetFocus(List());
    const int last = static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)) - 1;
    struct Key {
        const char* What;
        UINT Key;
        int Row;
    };
    const Key keys[] = {{"Down", VK_DOWN, 0}, {"End", VK_END, last}, {"Home", VK_HOME, 0}};
    for (const Key& k : keys) {
        SendKey(List(), k.Key);
        EXPECT_EQ(SelectedRow(List()), k.Row) << k.What;
        EXPECT_EQ(FocusedRow(List()), k.Row) << k.What;
        EXPECT_TRUE(InstallEnabled()) << k.What;
    }
    // Typing a drive's letter goes to its row, although every caption starts with a blank.
    SendKey(List(), 'S');
    SendMessageW(List(), WM_CHAR, L's', 1);
    EXPECT_EQ(FocusedRow(List()), FindRow(List(), L" S:"));
    EXPECT_EQ(SelectedRow(List()), FindRow(List(), L" S:"));
    EXPECT_TRUE(InstallEnabled());

    // Whatever a click in the empty space does to the list, Install agrees with it.
    SendClick(List(), EmptySpace());
    EXPECT_EQ(InstallEnabled(), SelectedRow(List()) >= 0);
}

TEST_F(DriveDialog, DoubleClickWithoutASelectedRowDoesNothing) {
    TRoveDestinationForm& form = Open();
    FocusWithoutSelecting(0);
    SendDoubleClick(List(), EmptySpace());
    PumpMessages(30);
    EXPECT_EQ(form.ModalResult(), 0);
    EXPECT_FALSE(InstallEnabled());
}

// Runs the dialog's modal loop over input posted beforehand; Exit is posted
// last, so a result other than Cancel came from the input.
int RunModalWithInput(TRoveDestinationForm& form, std::wstring& chosen,
                      const std::function<void()>& input) {
    form.PResult = &chosen;
    input();
    PostMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(form.bExit.Handle()));
    return form.ShowModal();
}

TEST_F(DriveDialog, EnterWorksOnlyOnAnEnabledInstall) {
    struct Case {
        const char* What;
        std::function<void()> Before;
        int Result;
        const wchar_t* Chosen;
    };
    const Case cases[] = {
        {"nothing chosen", [] {}, IDCANCEL, L""},
        {"first row focused, not selected", [this] { FocusWithoutSelecting(0); }, IDCANCEL, L""},
        {"a row clicked", [this] { Click(L" S:"); }, IDOK, L"S:"},
    };
    for (const Case& c : cases) {
        std::wstring chosen;
        TRoveDestinationForm& form = Open();
        c.Before();
        EXPECT_EQ(RunModalWithInput(form, chosen, [&] { PostKey(List(), VK_RETURN); }), c.Result)
            << c.What;
        EXPECT_EQ(chosen, c.Chosen) << c.What;
    }
}

TEST_F(DriveDialog, ClosingHandsBackTheSelectedDriveOrNothing) {
    struct Case {
        const char* What;
        bool PickFirst;
        std::function<void(HWND dlg, HWND list)> Input;
        const wchar_t* Expected;
    };
    const Case cases[] = {
        {"Install", true,
         [](HWND dlg, HWND) { PostMessageW(GetDlgItem(dlg, IDC_DEST_INSTALL), BM_CLICK, 0, 0); },
         L"R:"},
        {"double-click on a row", false,
         [](HWND, HWND list) { PostDoubleClick(list, RowPoint(list, FindRow(list, L" R:"))); },
         L"R:"},
        {"Install with the focus moved off the selected row", true,
         [](HWND dlg, HWND list) {
             LVITEMW state = {};
             state.stateMask = LVIS_FOCUSED;
             state.state = LVIS_FOCUSED;
             SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
             PostMessageW(GetDlgItem(dlg, IDC_DEST_INSTALL), BM_CLICK, 0, 0);
         },
         L"R:"},
        {"Exit", true,
         [](HWND dlg, HWND) { PostMessageW(GetDlgItem(dlg, IDC_DEST_EXIT), BM_CLICK, 0, 0); }, L""},
        {"Escape", true, [](HWND, HWND list) { PostKey(list, VK_ESCAPE); }, L""},
        {"close box", true, [](HWND dlg, HWND) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); },
         L""},
    };
    for (const Case& c : cases) {
        WhenDialogShown(kCaption, [&c](HWND dlg) {
            HWND list = GetDlgItem(dlg, IDC_DEST_LIST);
            if (c.PickFirst)
                SendClick(list, RowPoint(list, FindRow(list, L" R:")));
            c.Input(dlg, list);
        });
        EXPECT_EQ(SelectDestinationDrive(app_), c.Expected) << c.What;
        // The dialog releases itself once closed.
        EXPECT_TRUE(PumpUntil([this] { return app_.FormCount() == 0; }, 2000)) << c.What;
    }
}

TEST_F(DriveDialog, BurstOfDeviceChangesGivesOneRefillASecondAfterTheLast) {
    TRoveDestinationForm& form = Open();
    ASSERT_EQ(gFillTimes.size(), 1u);
    const size_t rows = ListRows(List()).size();
    for (WPARAM event : {0x8000u /* arrival */, 0x8004u /* removal */, 7u, 7u}) {
        DeviceChange(event);
        EXPECT_TRUE(form.Timer1Enabled());
        PumpMessages(300);
    }
    const DWORD last = GetTickCount();
    DeviceChange();
    ASSERT_TRUE(WaitForFills(2));
    EXPECT_GE(static_cast<LONG>(gFillTimes[1] - last), 900);
    EXPECT_FALSE(form.Timer1Enabled());
    EXPECT_EQ(ListRows(List()).size(), rows);
    PumpMessages(1500);
    EXPECT_EQ(gFillTimes.size(), 2u);
}

TEST_F(DriveDialog, RefillKeepsTheChosenDrive) {
    Open();
    Click(L" R:");
    TPluggedDrive plugged(L'U', BuildPath(L"testdrives\\plugged"));
    ASSERT_TRUE(plugged.Plugged());
    DeviceChange();
    ASSERT_TRUE(PumpUntil([this] { return FindRow(List(), L" U:") >= 0; }, 5000));
    const int removable = FindRow(List(), L" R:");
    EXPECT_EQ(FocusedRow(List()), removable);
    EXPECT_TRUE(RowSelected(List(), removable));
    EXPECT_TRUE(InstallEnabled());
    EXPECT_EQ(ListRows(List())[FindRow(List(), L" U:")][2], L"Removable Drive");
}

TEST_F(DriveDialog, RefillWithoutTheChosenDriveDisablesInstall) {
    TPluggedDrive plugged(L'U', BuildPath(L"testdrives\\plugged"));
    ASSERT_TRUE(plugged.Plugged());
    TRoveDestinationForm& form = Open();
    Click(L" U:");
    ASSERT_TRUE(InstallEnabled());
    SetFocus(form.bInstall.Handle());
    plugged.Unplug();
    DeviceChange();
    ASSERT_TRUE(PumpUntil([this] { return FindRow(List(), L" U:") < 0; }, 5000));
    EXPECT_EQ(FocusedRow(List()), -1);
    EXPECT_FALSE(InstallEnabled());
    // The keyboard focus does not stay on a disabled button.
    EXPECT_EQ(GetFocus(), List());

    std::wstring chosen;
    EXPECT_EQ(RunModalWithInput(form, chosen,
                                [&] {
                                    PostKey(List(), VK_RETURN);
                                    PostDoubleClick(List(), EmptySpace());
                                }),
              IDCANCEL);
    EXPECT_EQ(chosen, L"");
}

TEST_F(DriveDialog, ASecondActivationDoesNotRefill) {
    TRoveDestinationForm& form = Open();
    Click(L" R:");
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetActiveWindow(other);
    PumpMessages(30);
    form.Show();
    SendMessageW(form.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    PumpMessages(30);
    DestroyWindow(other);
    EXPECT_EQ(gFillTimes.size(), 1u);
    EXPECT_EQ(FocusedRow(List()), FindRow(List(), L" R:"));
}

TEST(DriveRootOf, Paths) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring currentRoot(current, 3);
    struct Case {
        std::wstring Path;
        std::wstring Root;
    };
    const Case cases[] = {
        {L"C:\\windows\\system32", L"C:\\"},
        {L"e:\\Rover\\", L"e:\\"},
        {L"C:", L"C:\\"},
        {L"\\\\server\\share\\dir\\file.txt", L"\\\\server\\share\\"},
        {L"\\\\server\\share", L"\\\\server\\share"},
        {L"\\\\server", L"\\\\server"},
        {L"sub\\file.txt", currentRoot},
        {L"x", currentRoot},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DriveRootOf(c.Path), c.Root) << std::string(c.Path.begin(), c.Path.end());
}

TEST(SetupProgram, ShowsTheDriveDialogAndExitsOnExit) {
    TProcess setup;
    ASSERT_TRUE(setup.Start(L"\"" + SetupExePath() + L"\""));
    HWND dlg = nullptr;
    PumpUntil(
        [&] {
            dlg = FindWindowW(L"#32770", kCaption);
            return dlg != nullptr && IsWindowVisible(dlg) &&
                   SendMessageW(GetDlgItem(dlg, IDC_DEST_LIST), LVM_GETITEMCOUNT, 0, 0) > 0;
        },
        10000);
    ASSERT_NE(dlg, nullptr);
    HWND list = GetDlgItem(dlg, IDC_DEST_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0),
              static_cast<LRESULT>(__builtin_popcount(::GetLogicalDrives())));
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(setup.Wait(10000), 0u);
}

} // namespace
} // namespace rover
