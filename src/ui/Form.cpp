// Form base: dialog creation, message dispatch, the modal loop and deferred release.
#include "ui/Form.h"

#include <exception>

#include "support/DebugLog.h"
#include "ui/Application.h"

namespace rover {

TForm::TForm(TApplication& owner, int templateId) : owner_(owner), templateId_(templateId) {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
        dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }
    if (dpi_ <= 0)
        dpi_ = 96;
    owner_.AddForm(this);
}

HWND TForm::Handle() const {
    if (handle_ == nullptr && !creating_) {
        creating_ = true;
        CreateDialogParamW(owner_.Instance(), MAKEINTRESOURCEW(templateId_), owner_.Handle(),
                           &TForm::DialogProc, reinterpret_cast<LPARAM>(const_cast<TForm*>(this)));
        creating_ = false;
    }
    return handle_;
}

TForm::~TForm() {
    owner_.RemoveForm(this);
    if (handle_ != nullptr) {
        SetWindowLongPtrW(handle_, DWLP_USER, 0);
        DestroyWindow(handle_);
        handle_ = nullptr;
    }
}

int TForm::Scale(int pixels) const {
    return MulDiv(pixels, dpi_, 96);
}

void TForm::Show() {
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(handle_);
}

void TForm::Release() {
    if (releasePending_)
        return;
    releasePending_ = true;
    owner_.ReleaseForm(this);
}

int TForm::ShowModal() {
    // A dialog that could not be made has nothing to wait for: waiting would
    // hang the program with no window for the user to close.
    if (Handle() == nullptr)
        return 0;
    HWND ownerWindow = GetWindow(Handle(), GW_OWNER);
    const bool ownerWasEnabled = ownerWindow != nullptr && IsWindowEnabled(ownerWindow);
    if (ownerWasEnabled)
        EnableWindow(ownerWindow, FALSE);
    modalResult_ = 0;
    inModal_ = true;
    Show();
    for (;;) {
        MSG msg;
        while (modalResult_ == 0) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                if (got == 0)
                    PostQuitMessage(static_cast<int>(msg.wParam));
                modalResult_ = IDCANCEL;
                break;
            }
            if (!IsDialogMessageW(handle_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        bool canClose = true;
        FormCloseQuery(canClose);
        if (canClose)
            break;
        modalResult_ = 0;
    }
    const int result = modalResult_;
    TCloseAction action = TCloseAction::Hide;
    FormClose(action);
    // Re-enable the owner before hiding, so that activation returns to it.
    if (ownerWasEnabled)
        EnableWindow(ownerWindow, TRUE);
    if (action != TCloseAction::None)
        ShowWindow(handle_, SW_HIDE);
    inModal_ = false;
    if (action == TCloseAction::Free)
        Release();
    return result;
}

void TForm::Command(int id, int code, HWND control) {
    (void)code;
    (void)control;
    if (id == IDOK)
        SetModalResult(IDOK);
    else if (id == IDCANCEL)
        SetModalResult(IDCANCEL);
}

void TForm::SetClientSize(int width, int height) {
    RECT rc = {0, 0, Scale(width), Scale(height)};
    Handle();
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(handle_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(handle_, GWL_EXSTYLE));
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    SetWindowPos(handle_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::PlaceControl(int id, int left, int top, int width, int height) {
    SetWindowPos(Item(id), nullptr, Scale(left), Scale(top), Scale(width), Scale(height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOnScreen() {
    RECT rc;
    GetWindowRect(Handle(), &rc);
    RECT work;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    SetWindowPos(handle_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetMessageResult(LRESULT result) {
    SetWindowLongPtrW(handle_, DWLP_MSGRESULT, result);
}

INT_PTR TForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        // The owner is a hidden window, so without this the dialog would have
        // no taskbar button and could be lost behind other windows.
        SetWindowLongPtrW(handle_, GWL_EXSTYLE,
                          GetWindowLongPtrW(handle_, GWL_EXSTYLE) | WS_EX_APPWINDOW);
        // The program's icon on the taskbar button and in the task switcher.
        SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(owner_.Icon()));
        SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(owner_.SmallIcon()));
        FormCreate();
        // No focus yet: focusing a control of the hidden dialog would activate
        // it before it is shown, and the first activation must come with the
        // showing. The dialog manager focuses the first control on activation.
        return FALSE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            FormActivate();
        return FALSE;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_NOTIFY:
        SetMessageResult(Notify(*reinterpret_cast<const NMHDR*>(lParam)));
        return TRUE;
    case WM_TIMER:
        Timer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case WM_CLOSE:
        CloseRequested();
        return TRUE;
    case WM_SETCURSOR:
        if (owner_.ScreenCursor() != nullptr) {
            SetCursor(owner_.ScreenCursor());
            SetMessageResult(TRUE);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK TForm::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* form = reinterpret_cast<TForm*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        form->handle_ = hwnd;
    }
    auto* self = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr)
        return FALSE;
    // Nothing may unwind through the system's dialog manager.
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        LogException(L"Form", L"DialogProc", e);
    } catch (...) {
        LogException(L"Form", L"DialogProc", std::exception());
    }
    return FALSE;
}

} // namespace rover
