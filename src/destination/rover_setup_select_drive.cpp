// The drive dialog: fills the list, keeps it current across device changes, hands back a drive.
#include "destination/rover_setup_select_drive.h"

#include <shellapi.h>

#include "destination/DriveInventory.h"
#include "support/Paths.h"
#include "resource.h"
#include "ui/Application.h"

namespace rover {

namespace {

constexpr UINT kSmallSystemImagesFlags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;

struct TColumn {
    const wchar_t* Title;
    int Width;
    int Format;
};
constexpr TColumn kColumns[] = {
    {L"Drive", 50, LVCFMT_LEFT},        {L"Name", 150, LVCFMT_LEFT},
    {L"Type", 150, LVCFMT_LEFT},        {L"Total Size", 100, LVCFMT_RIGHT},
    {L"Free Space", 100, LVCFMT_RIGHT},
};

std::wstring TrimBlanks(const std::wstring& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] <= L' ')
        ++first;
    while (last > first && text[last - 1] <= L' ')
        --last;
    return text.substr(first, last - first);
}

} // namespace

TRoveDestinationForm::TRoveDestinationForm(TApplication& owner) : TForm(owner, IDD_DESTINATION) {
    Handle(); // the window and its controls are ready once constructed
}

void TRoveDestinationForm::FormCreate() {
    ListView = TListView(Item(IDC_DEST_LIST));
    Label1 = TControl(Item(IDC_DEST_LABEL));
    bInstall = TButton(Item(IDC_DEST_INSTALL));
    bExit = TButton(Item(IDC_DEST_EXIT));
    SetClientSize(647, 397);
    PlaceControl(IDC_DEST_LABEL, 16, 16, 237, 13);
    FitLabelToText();
    PlaceControl(IDC_DEST_LIST, 16, 32, 609, 297);
    PlaceControl(IDC_DEST_EXIT, 440, 344, 75, 25);
    PlaceControl(IDC_DEST_INSTALL, 536, 344, 75, 25);
    CenterOnScreen();

    SendMessageW(ListView.Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    for (const TColumn& column : kColumns)
        ListView.AddColumn(column.Title, Scale(column.Width), column.Format);
    bInstall.Enable(false);
}

void TRoveDestinationForm::FitLabelToText() {
    // Where the dialog font is wider than planned, the prompt grows instead of
    // being cut off; it never shrinks below its planned width.
    const HWND label = Label1.Handle();
    const std::wstring text = Label1.Text();
    HDC dc = GetDC(label);
    if (dc == nullptr)
        return;
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    const BOOL measured =
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(label, dc);
    RECT rc;
    GetWindowRect(label, &rc);
    if (measured && extent.cx > rc.right - rc.left)
        SetWindowPos(label, nullptr, 0, 0, extent.cx, rc.bottom - rc.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR TRoveDestinationForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DEVICECHANGE) {
        WMDeviceChange();
        SetMessageResult(TRUE);
        return TRUE;
    }
    return TForm::HandleMessage(msg, wParam, lParam);
}

void TRoveDestinationForm::FormActivate() {
    // Switching back to the dialog must not rebuild the list.
    if (Activated)
        return;
    Activated = true;
    wchar_t windowsDir[MAX_PATH] = {};
    GetWindowsDirectoryW(windowsDir, MAX_PATH);
    // The Windows folder's root serves only as a path that surely exists.
    const std::wstring root = DriveRootOf(windowsDir);
    SHFILEINFOW info = {};
    const auto images = reinterpret_cast<HIMAGELIST>(DriveQueryCalls().SHGetFileInfo(
        root.c_str(), 0, &info, sizeof(info), kSmallSystemImagesFlags));
    // The list shares this image list with the whole system (LVS_SHAREIMAGELISTS).
    ListView.SetSmallImages(images);
    UpdateIcons();
}

void TRoveDestinationForm::UpdateIcons() {
    for (const std::wstring& root : PresentDriveRoots())
        AddDriveRow(root);
}

void TRoveDestinationForm::AddDriveRow(const std::wstring& root) {
    const TDriveRow row = DriveRowOf(root);
    ListView.AddRow(row.Caption, row.Image, row.SubItems);
}

void TRoveDestinationForm::SetTimer1(bool enabled) {
    if (timer1Enabled_) {
        KillTimer(Handle(), kTimer1Id);
        timer1Enabled_ = false;
    }
    if (enabled)
        timer1Enabled_ = SetTimer(Handle(), kTimer1Id, kTimer1Interval, nullptr) != 0;
}

void TRoveDestinationForm::WMDeviceChange() {
    // Every notification starts the countdown anew: a burst gives one refill.
    SetTimer1(false);
    SetTimer1(true);
}

void TRoveDestinationForm::Timer(UINT_PTR id) {
    if (id == kTimer1Id)
        Timer1Timer();
}

void TRoveDestinationForm::Timer1Timer() {
    SetTimer1(false);
    const int selected = ListView.SelectedIndex();
    const std::wstring chosen = selected >= 0 ? ListView.ItemText(selected, 0) : std::wstring();
    ListView.Clear();
    UpdateIcons();
    // The rows are new: the user's choice must survive if its drive is still there.
    const int row = chosen.empty() ? -1 : RowOfCaption(chosen);
    if (row >= 0)
        ListView.FocusRow(row);
    UpdateInstallState();
}

int TRoveDestinationForm::RowOfCaption(const std::wstring& caption) const {
    const int count = ListView.Count();
    for (int row = 0; row < count; ++row) {
        if (ListView.ItemText(row, 0) == caption)
            return row;
    }
    return -1;
}

void TRoveDestinationForm::UpdateInstallState() {
    // A focused row alone is no choice: a list view may focus its first row
    // by itself, and Enter would then install onto a drive nobody picked.
    const bool enable = ListView.SelectedIndex() >= 0;
    if (enable == bInstall.Enabled())
        return;
    // A disabled button cannot keep the keyboard focus; hand it to the list.
    if (!enable && GetFocus() == bInstall.Handle())
        SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ListView.Handle()), TRUE);
    bInstall.Enable(enable);
}

void TRoveDestinationForm::ListViewClick() {
    UpdateInstallState();
}

void TRoveDestinationForm::ListViewKeyDown(WORD key) {
    // The list's own search by typing matches from the first character, which
    // in every caption is a blank: a typed drive letter goes to its row here.
    if (key < 'A' || key > 'Z' || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
        return;
    const int row = RowOfCaption(std::wstring{L' ', static_cast<wchar_t>(key), L':'});
    if (row >= 0)
        ListView.FocusRow(row);
}

void TRoveDestinationForm::ListViewDblClick() {
    // Without a selected row there is no drive to hand back.
    if (ListView.SelectedIndex() < 0)
        return;
    bInstall.Click();
}

LRESULT TRoveDestinationForm::Notify(const NMHDR& header) {
    if (header.hwndFrom != ListView.Handle())
        return 0;
    switch (header.code) {
    case LVN_ITEMCHANGED: {
        // Keys, clicks and refills all change the selection; Install follows it.
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) &&
            ((change.uOldState ^ change.uNewState) & LVIS_SELECTED))
            UpdateInstallState();
        break;
    }
    case LVN_KEYDOWN:
        ListViewKeyDown(reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey);
        break;
    case NM_CLICK:
        ListViewClick();
        break;
    case NM_DBLCLK:
        ListViewDblClick();
        break;
    default:
        break;
    }
    return 0;
}

void TRoveDestinationForm::Command(int id, int code, HWND control) {
    (void)code;
    (void)control;
    switch (id) {
    case IDC_DEST_INSTALL:
        // Enter reaches here too; a disabled Install does nothing.
        if (bInstall.Enabled())
            SetModalResult(IDOK);
        break;
    case IDC_DEST_EXIT:
        SetModalResult(IDCANCEL);
        break;
    default:
        break;
    }
}

void TRoveDestinationForm::FormCloseQuery(bool& canClose) {
    (void)canClose;
    if (Closed)
        return;
    Closed = true;
    if (ModalResult() != IDOK || PResult == nullptr)
        return;
    const int selected = ListView.SelectedIndex();
    if (selected >= 0)
        *PResult = TrimBlanks(ListView.ItemText(selected, 0));
}

void TRoveDestinationForm::FormClose(TCloseAction& action) {
    action = TCloseAction::Free;
}

std::wstring DriveRootOf(const std::wstring& path) {
    const std::wstring full = FullPathName(path);
    if (full.size() < 2)
        return std::wstring();
    if (full[1] == L':')
        return full.substr(0, 3);
    if (full[1] == L'\\') {
        size_t at = full.find(L'\\', 2);
        if (at == std::wstring::npos)
            return full;
        at = full.find_first_not_of(L'\\', at);
        if (at == std::wstring::npos)
            return full;
        at = full.find(L'\\', at);
        return at == std::wstring::npos ? full : full.substr(0, at + 1);
    }
    const size_t at = full.find(L'\\');
    return at == std::wstring::npos ? full + L'\\' : full.substr(0, at + 1);
}

std::wstring SelectDestinationDrive(TApplication& owner) {
    std::wstring chosen;
    auto* form = new TRoveDestinationForm(owner);
    form->PResult = &chosen;
    const int result = form->ShowModal();
    // The form releases itself later; it must not write here after this call.
    form->PResult = nullptr;
    return result == IDOK ? chosen : std::wstring();
}

} // namespace rover
