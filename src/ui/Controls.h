// Thin wrappers of child controls; they own nothing and only send messages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace rover {

class TControl {
  public:
    explicit TControl(HWND handle = nullptr) : handle_(handle) {}
    HWND Handle() const { return handle_; }

    void SetText(const std::wstring& text) const { SetWindowTextW(handle_, text.c_str()); }
    std::wstring Text() const;
    void Enable(bool enabled) const { EnableWindow(handle_, enabled ? TRUE : FALSE); }
    bool Enabled() const { return IsWindowEnabled(handle_) != FALSE; }
    void SetVisible(bool visible) const { ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE); }
    bool Visible() const { return IsWindowVisible(handle_) != FALSE; }

  protected:
    HWND handle_;
};

class TButton : public TControl {
  public:
    using TControl::TControl;
    // Presses the button as a click would, whether or not it is enabled.
    void Click() const;
};

class TListView : public TControl {
  public:
    using TControl::TControl;
    void AddColumn(const std::wstring& title, int width, int format) const;
    // Appends a row and returns its index, or -1.
    int AddRow(const std::wstring& caption, int image,
               const std::vector<std::wstring>& subItems) const;
    int Count() const { return static_cast<int>(SendMessageW(handle_, LVM_GETITEMCOUNT, 0, 0)); }
    void Clear() const { SendMessageW(handle_, LVM_DELETEALLITEMS, 0, 0); }
    std::wstring ItemText(int row, int column) const;
    int ItemImage(int row) const;
    int FocusedIndex() const {
        return static_cast<int>(
            SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }
    // The highlighted row; a row can hold the focus without it.
    int SelectedIndex() const {
        return static_cast<int>(
            SendMessageW(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    // Focuses and selects a row, scrolling it into view.
    void FocusRow(int row) const;
    HIMAGELIST SetSmallImages(HIMAGELIST images) const {
        return reinterpret_cast<HIMAGELIST>(
            SendMessageW(handle_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
    }
};

class TProgressBar : public TControl {
  public:
    using TControl::TControl;
    void SetRange(int low, int high) const { SendMessageW(handle_, PBM_SETRANGE32, low, high); }
    int Max() const { return static_cast<int>(SendMessageW(handle_, PBM_GETRANGE, FALSE, 0)); }
    void SetPosition(int position) const { SendMessageW(handle_, PBM_SETPOS, position, 0); }
    int Position() const { return static_cast<int>(SendMessageW(handle_, PBM_GETPOS, 0, 0)); }
};

class TAnimate : public TControl {
  public:
    using TControl::TControl;
    bool Open(HINSTANCE instance, int resourceId) const {
        return SendMessageW(handle_, ACM_OPENW, reinterpret_cast<WPARAM>(instance),
                            reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(resourceId))) != 0;
    }
    // Frames are counted from 0 by the control.
    bool Play(int fromFrame, int toFrame, int repeat) const {
        return SendMessageW(handle_, ACM_PLAY, static_cast<WPARAM>(repeat),
                            MAKELPARAM(fromFrame, toFrame)) != 0;
    }
    void Stop() const { SendMessageW(handle_, ACM_STOP, 0, 0); }
    bool Seek(int frame) const { return Play(frame, frame, 1); }
};

} // namespace rover
