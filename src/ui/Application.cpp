// The hidden application window, deferred release of dialogs and the exit-time clean-up.
#include "ui/Application.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>

#include "ui/Form.h"

namespace rover {

TApplication* Application = nullptr;

namespace {

constexpr wchar_t kWindowClass[] = L"TRoverApplication";
constexpr UINT kReleaseFormMessage = WM_APP + 1;

BOOL CALLBACK HideOwnedWindow(HWND hwnd, LPARAM owner) {
    if (GetWindow(hwnd, GW_OWNER) == reinterpret_cast<HWND>(owner) && IsWindowVisible(hwnd))
        ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

void __cdecl CleanupApplicationAtExit() {
    TApplication* app = Application;
    Application = nullptr;
    if (app != nullptr) {
        app->Cleanup();
        delete app;
    }
}

} // namespace

TApplication::TApplication(HINSTANCE instance) : instance_(instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TApplication::WindowProc;
    wc.hInstance = instance_;
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc); // a second object reuses the class
    // Never shown: it only carries the title for boxes it owns and owns the dialogs.
    handle_ = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance_, this);
}

TApplication::~TApplication() {
    Cleanup();
    if (handle_ != nullptr)
        DestroyWindow(handle_);
    if (comInitialized_)
        CoUninitialize();
}

void TApplication::SetTitle(const std::wstring& title) {
    SetWindowTextW(handle_, title.c_str());
}

std::wstring TApplication::Title() const {
    const int length = GetWindowTextLengthW(handle_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(handle_, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TApplication::LoadIcons(const wchar_t* name) {
    // Not shared, so that they are ours to destroy; each at the size it is shown in.
    icon_.Reset(static_cast<HICON>(LoadImageW(
        instance_, name, IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.Reset(
        static_cast<HICON>(LoadImageW(instance_, name, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
    SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
}

void TApplication::Initialize() {
    // The dialogs' list, progress bar and animation come from the common
    // controls, which Windows registers only when asked.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                          ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (!comInitialized_)
        comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
}

void TApplication::SetScreenCursor(HCURSOR cursor) {
    screenCursor_ = cursor;
    POINT pt;
    if (GetCursorPos(&pt))
        SetCursorPos(pt.x, pt.y); // makes the window under the pointer ask for its cursor again
    SetCursor(cursor != nullptr ? cursor : LoadCursorW(nullptr, IDC_ARROW));
}

bool TApplication::TranslateDialogMessage(MSG& msg) {
    if (msg.hwnd == nullptr)
        return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    for (TForm* form : forms_) {
        if (form->HandleIfCreated() == root)
            return IsDialogMessageW(root, &msg) != FALSE;
    }
    return false;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!TranslateDialogMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void TApplication::AddForm(TForm* form) {
    if (!OwnsForm(form))
        forms_.push_back(form);
}

void TApplication::RemoveForm(TForm* form) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
}

bool TApplication::OwnsForm(const TForm* form) const {
    return std::find(forms_.begin(), forms_.end(), form) != forms_.end();
}

void TApplication::ReleaseForm(TForm* form) {
    PostMessageW(handle_, kReleaseFormMessage, 0, reinterpret_cast<LPARAM>(form));
}

void TApplication::Cleanup() {
    if (handle_ != nullptr)
        EnumWindows(&HideOwnedWindow, reinterpret_cast<LPARAM>(handle_));
    // Each destructor unregisters its form, so always take the last one left.
    while (!forms_.empty())
        delete forms_.back();
}

void TApplication::RegisterCleanupAtExit() {
    atexit(&CleanupApplicationAtExit);
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TApplication*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == kReleaseFormMessage && self != nullptr) {
        auto* form = reinterpret_cast<TForm*>(lParam);
        // A form may have been destroyed meanwhile by the clean-up, and a new
        // one may stand at the same address: only a form that asked goes.
        if (self->OwnsForm(form) && form->ReleasePending())
            delete form;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace rover
