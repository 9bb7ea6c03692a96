// A stand-in for the portable mail client: holds the client's mutex until it is asked to end.
//
// rover.exe [/quit-event NAME]
// It ends when its window is closed or when the named event is set.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        static const wchar_t text[] = L"Kestrel Rover stand-in.\nClose this window to end it.";
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, text, -1, &rc, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    HANDLE quitEvent = nullptr;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv != nullptr && i + 1 < argc; ++i) {
        if (lstrcmpiW(argv[i], L"/quit-event") == 0)
            quitEvent = CreateEventW(nullptr, TRUE, FALSE, argv[i + 1]);
    }
    LocalFree(argv);

    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Rover mailer ready mutex");

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KestrelRoverStandIn";
    RegisterClassExW(&wc);
    HWND hwnd =
        CreateWindowExW(0, wc.lpszClassName, L"Kestrel Rover", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 320, 140, nullptr, nullptr, instance, nullptr);
    if (quitEvent == nullptr)
        ShowWindow(hwnd, show);

    for (;;) {
        const DWORD count = quitEvent != nullptr ? 1 : 0;
        const DWORD wait =
            MsgWaitForMultipleObjects(count, &quitEvent, FALSE, INFINITE, QS_ALLINPUT);
        if (count == 1 && wait == WAIT_OBJECT_0)
            break;
        MSG msg;
        bool quit = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (quit)
            break;
    }
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    if (mutex != nullptr)
        CloseHandle(mutex);
    if (quitEvent != nullptr)
        CloseHandle(quitEvent);
    return 0;
}
