// Driving the drive dialog as a user would, and plugging drives in through Wine's mount manager.
#include "DialogDriving.h"

#include <winioctl.h>

#include <cstring>

#include "TestHarness.h"

namespace rover::test {

namespace {

struct TPendingScript {
    std::wstring Caption;
    std::function<void(HWND)> Script;
    UINT_PTR Timer = 0;
};
thread_local TPendingScript* tPending = nullptr;

struct TFindDialog {
    const std::wstring* Caption;
    HWND Found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lParam) {
    auto* find = reinterpret_cast<TFindDialog*>(lParam);
    wchar_t cls[16] = {};
    wchar_t text[256] = {};
    GetClassNameW(hwnd, cls, 16);
    GetWindowTextW(hwnd, text, 256);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(hwnd) && *find->Caption == text) {
        find->Found = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK RunPendingScript(HWND, UINT, UINT_PTR timer, DWORD) {
    TPendingScript* pending = tPending;
    if (pending == nullptr) {
        KillTimer(nullptr, timer);
        return;
    }
    TFindDialog find = {&pending->Caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &MatchDialog, reinterpret_cast<LPARAM>(&find));
    if (find.Found == nullptr)
        return;
    KillTimer(nullptr, timer);
    tPending = nullptr;
    pending->Script(find.Found);
    delete pending;
}

// Wine's mount manager: define a drive letter on a Unix folder while the server runs.
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct TUnixDriveRequest {
    ULONG Size;
    ULONG Type;
    ULONG FsType;
    DWORD Serial;
    ULONGLONG UnixDev;
    WCHAR Letter;
    USHORT MountPointOffset;
    USHORT DeviceOffset;
    USHORT LabelOffset;
};

std::string UnixPathOf(const std::wstring& windowsPath) {
    // Z: is the Unix root in every Wine prefix.
    std::string unixPath;
    for (size_t i = 2; i < windowsPath.size(); ++i)
        unixPath += windowsPath[i] == L'\\' ? '/' : static_cast<char>(windowsPath[i]);
    return unixPath;
}

} // namespace

std::vector<std::vector<std::wstring>> ListRows(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::vector<std::wstring>> rows;
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> texts;
        for (int column = 0; column < columns; ++column) {
            wchar_t buffer[300] = {};
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = 300;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            texts.push_back(buffer);
        }
        rows.push_back(texts);
    }
    return rows;
}

int FindRow(HWND list, const std::wstring& caption) {
    const auto rows = ListRows(list);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i][0] == caption)
            return static_cast<int>(i);
    }
    return -1;
}

int FocusedRow(HWND list) {
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

int SelectedRow(HWND list) {
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool RowSelected(HWND list, int row) {
    return (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

POINT RowPoint(HWND list, int row) {
    RECT rc = {};
    rc.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
    return POINT{rc.left + 20, (rc.top + rc.bottom) / 2};
}

void SendClick(HWND list, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(list, WM_LBUTTONUP, 0, where);
}

void SendDoubleClick(HWND list, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(list, WM_LBUTTONUP, 0, where);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
    SendMessageW(list, WM_LBUTTONUP, 0, where);
}

void PostDoubleClick(HWND list, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(list, WM_LBUTTONUP, 0, where);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
    PostMessageW(list, WM_LBUTTONUP, 0, where);
}

void SendKey(HWND window, UINT key) {
    SendMessageW(window, WM_KEYDOWN, key, 1);
    SendMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void PostKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

void WhenDialogShown(const std::wstring& caption, std::function<void(HWND)> script) {
    delete tPending;
    tPending = new TPendingScript{caption, std::move(script), 0};
    tPending->Timer = SetTimer(nullptr, 0, 20, &RunPendingScript);
}

bool DefineDrive(wchar_t letter, UINT driveType, const std::string& unixFolder) {
    std::vector<char> request(sizeof(TUnixDriveRequest) + unixFolder.size() + 1, '\0');
    TUnixDriveRequest header = {};
    header.Size = static_cast<ULONG>(request.size());
    header.Type = driveType;
    header.Letter = (letter >= L'A' && letter <= L'Z') ? static_cast<WCHAR>(letter + 32) : letter;
    if (driveType != DRIVE_NO_ROOT_DIR) {
        header.MountPointOffset = sizeof(TUnixDriveRequest);
        memcpy(request.data() + sizeof(TUnixDriveRequest), unixFolder.c_str(), unixFolder.size());
    }
    memcpy(request.data(), &header, sizeof(header));
    HANDLE manager =
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL ok =
        DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                        static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

TPluggedDrive::TPluggedDrive(wchar_t letter, const std::wstring& folder) : letter_(letter) {
    MakeDirs(folder);
    plugged_ = DefineDrive(letter, DRIVE_REMOVABLE, UnixPathOf(folder));
}

void TPluggedDrive::Unplug() {
    if (plugged_)
        DefineDrive(letter_, DRIVE_NO_ROOT_DIR, std::string());
    plugged_ = false;
}

} // namespace rover::test
