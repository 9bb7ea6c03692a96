// Form base: a dialog from a resource template, modeless underneath, with a modal run of its own.
#pragma once

#include <windows.h>

#include <string>

namespace rover {

class TApplication;

enum class TCloseAction { None, Hide, Free };

class TForm {
  public:
    // The dialog window (hidden, owned by the application window) is created
    // at the first use of Handle(), so that creation reaches the derived
    // class's handlers; a constructor of a derived class may already use it.
    TForm(TApplication& owner, int templateId);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const;
    // The window if it exists, without creating it.
    HWND HandleIfCreated() const { return handle_; }
    HWND Item(int id) const { return GetDlgItem(Handle(), id); }
    TApplication& Owner() const { return owner_; }

    // Disables the owner, runs a loop until a modal result is set and the
    // close query agrees, runs the close event, and returns the result.
    int ShowModal();
    bool InModalLoop() const { return inModal_; }

    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    void Show();
    // Destroys the object the next time messages are processed.
    void Release();
    bool ReleasePending() const { return releasePending_; }

    // DPI scaling of a length given at 96 dots per inch.
    int Scale(int pixels) const;

  protected:
    // Everything reaches the form here first; the default dispatches to the
    // handlers below. Returns the dialog procedure's result.
    virtual INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    virtual void FormCreate() {}
    virtual void FormActivate() {}
    virtual void FormCloseQuery(bool& canClose) { (void)canClose; }
    virtual void FormClose(TCloseAction& action) { (void)action; }
    // IDOK and IDCANCEL set the modal results 1 and 2, as buttons with those results do.
    virtual void Command(int id, int code, HWND control);
    virtual LRESULT Notify(const NMHDR& header) {
        (void)header;
        return 0;
    }
    virtual void Timer(UINT_PTR id) { (void)id; }
    // Asked for a close by the close box, Alt+F4 or WM_CLOSE; the default
    // gives the modal result Cancel.
    virtual void CloseRequested() { SetModalResult(IDCANCEL); }

    // Layout in pixels at 96 dots per inch, scaled to the system's DPI.
    void SetClientSize(int width, int height);
    void PlaceControl(int id, int left, int top, int width, int height);
    void CenterOnScreen();

    // Sets a message's result for the dialog manager.
    void SetMessageResult(LRESULT result);

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    TApplication& owner_;
    int templateId_;
    mutable HWND handle_ = nullptr;
    mutable bool creating_ = false;
    int modalResult_ = 0;
    bool inModal_ = false;
    bool releasePending_ = false;
    int dpi_ = 96;
};

} // namespace rover
