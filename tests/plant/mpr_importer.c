/* Imports mpr by name, as the setup once did, and asks it one network name. */
#include <windows.h>
#include <winnetwk.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
    BYTE buffer[1024];
    DWORD size = sizeof buffer;
    (void)instance, (void)previous, (void)line, (void)show;
    return (int)WNetGetUniversalNameW(L"C:\\", UNIVERSAL_NAME_INFO_LEVEL, buffer, &size);
}
