// Driving the drive dialog as a user would, and plugging drives in through Wine's mount manager.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace rover::test {

// The rows of a list control: each row's texts, caption first.
std::vector<std::vector<std::wstring>> ListRows(HWND list);
// Index of the row with this caption, or -1.
int FindRow(HWND list, const std::wstring& caption);
int FocusedRow(HWND list);
int SelectedRow(HWND list);
bool RowSelected(HWND list, int row);

// Mouse input at a row's Drive column (or at a point of the list's client area).
POINT RowPoint(HWND list, int row);
void SendClick(HWND list, POINT at);
void SendDoubleClick(HWND list, POINT at);
void PostDoubleClick(HWND list, POINT at);
void SendKey(HWND window, UINT key);
void PostKey(HWND window, UINT key);

// Runs script once with the first visible dialog of this thread that has
// the caption, from inside whatever modal loop is running at that moment.
void WhenDialogShown(const std::wstring& caption, std::function<void(HWND)> script);

// A drive letter defined while the wineserver runs, removed again on destruction.
class TPluggedDrive {
  public:
    // letter: 'U'; folder: a Windows path through Z:, created if missing.
    TPluggedDrive(wchar_t letter, const std::wstring& folder);
    ~TPluggedDrive() { Unplug(); }
    TPluggedDrive(const TPluggedDrive&) = delete;
    TPluggedDrive& operator=(const TPluggedDrive&) = delete;
    bool Plugged() const { return plugged_; }
    void Unplug();

  private:
    wchar_t letter_;
    bool plugged_ = false;
};

// Defines (type other than DRIVE_NO_ROOT_DIR) or removes (DRIVE_NO_ROOT_DIR) a drive letter.
bool DefineDrive(wchar_t letter, UINT driveType, const std::string& unixFolder);

} // namespace rover::test
