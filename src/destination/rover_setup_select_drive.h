// The drive dialog: the user picks the drive that receives the portable client.
#pragma once

#include <string>

#include "ui/Controls.h"
#include "ui/Form.h"

namespace rover {

class TApplication;

class TRoveDestinationForm : public TForm {
  public:
    // Refill delay after the last device change.
    static constexpr UINT_PTR kTimer1Id = 1;
    static constexpr UINT kTimer1Interval = 1000;

    explicit TRoveDestinationForm(TApplication& owner);

    TListView ListView;
    TControl Label1;
    TButton bInstall;
    TButton bExit;
    bool Closed = false;
    bool Activated = false;
    // Receives the chosen drive ("E:") at the first close query with the result OK.
    std::wstring* PResult = nullptr;

    bool Timer1Enabled() const { return timer1Enabled_; }
    // Appends one row per present drive; the list is not cleared first.
    void UpdateIcons();
    void AddDriveRow(const std::wstring& root);

  protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void FormCreate() override;
    void FormActivate() override;
    void FormCloseQuery(bool& canClose) override;
    void FormClose(TCloseAction& action) override;
    void Command(int id, int code, HWND control) override;
    LRESULT Notify(const NMHDR& header) override;
    void Timer(UINT_PTR id) override;

  private:
    void WMDeviceChange();
    void Timer1Timer();
    void ListViewClick();
    void ListViewKeyDown(WORD key);
    void ListViewDblClick();
    void SetTimer1(bool enabled);
    void FitLabelToText();
    // Install is enabled exactly when the list has a selected row.
    void UpdateInstallState();
    int RowOfCaption(const std::wstring& caption) const;

    bool timer1Enabled_ = false;
};

// The root of a path: "C:\" for a drive path, "\\server\share\" for a UNC path.
std::wstring DriveRootOf(const std::wstring& path);

// Shows the drive dialog modally; returns a drive as a letter and a colon, or empty.
std::wstring SelectDestinationDrive(TApplication& owner);

} // namespace rover
