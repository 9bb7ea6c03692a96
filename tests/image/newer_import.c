/* Imports SetDefaultDllDirectories by name, which an unpatched Windows 7 lacks. */
#include <windows.h>

WINBASEAPI BOOL WINAPI SetDefaultDllDirectories(DWORD flags);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
    (void)instance, (void)previous, (void)line, (void)show;
    return SetDefaultDllDirectories(0x800) ? 0 : 1;
}
