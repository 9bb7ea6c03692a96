/* A planted mpr.dll: leaves a marker file beside itself whenever a process loads it. */
#include <windows.h>
#include <winnetwk.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 8];
        const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcpyW(path + length, L".loaded");
            HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}

/* Every drive is the share \\plant\share. */
__declspec(dllexport) DWORD WINAPI
    WNetGetUniversalNameW(LPCWSTR path, DWORD level, LPVOID buffer, LPDWORD size) {
    static const WCHAR name[] = L"\\\\plant\\share";
    UNIVERSAL_NAME_INFOW* info = (UNIVERSAL_NAME_INFOW*)buffer;
    (void)path;
    if (level != UNIVERSAL_NAME_INFO_LEVEL)
        return ERROR_INVALID_LEVEL;
    if (*size < sizeof *info + sizeof name) {
        *size = sizeof *info + sizeof name;
        return ERROR_MORE_DATA;
    }
    info->lpUniversalName = (LPWSTR)(info + 1);
    lstrcpyW(info->lpUniversalName, name);
    return NO_ERROR;
}
