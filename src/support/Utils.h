// Message boxes, system error texts, code-page conversion, path join and the product name.
#pragma once

#include <windows.h>

#include <string>

namespace rover {

// Message-box presets; each adds MB_TASKMODAL | MB_SETFOREGROUND.
constexpr UINT kErrorBoxFlags = MB_OK | MB_ICONHAND;
constexpr UINT kWarningBoxFlags = MB_OK | MB_ICONEXCLAMATION;
constexpr UINT kAbortRetryIgnoreBoxFlags = MB_ABORTRETRYIGNORE | MB_ICONHAND;
constexpr UINT kForcedBoxFlags = MB_TASKMODAL | MB_SETFOREGROUND;

// The two system calls behind every box. Tests swap them to reach the
// 8-bit fallback, which no system they run on needs.
struct MessageBoxApi {
    int(WINAPI* WideBox)(HWND, LPCWSTR, LPCWSTR, UINT, WORD);
    int(WINAPI* AnsiBox)(HWND, LPCSTR, LPCSTR, UINT, WORD);
};
MessageBoxApi& MessageBoxCalls();
const MessageBoxApi& RealMessageBoxCalls();

// Set for good once the wide call reports ERROR_CALL_NOT_IMPLEMENTED.
extern volatile bool UseAnsiMessageBoxEx;

int MsgBoxCaption(const std::wstring& text, UINT flags, HWND owner, const std::wstring& caption);
int MsgBox(const std::wstring& text, UINT flags, HWND owner);
int ErrorBox(const std::wstring& text, HWND owner);
int WarningBox(const std::wstring& text, HWND owner);
int AbortRetryIgnoreBox(const std::wstring& text, HWND owner);

// The caption a box owned by `owner` gets: at most 79 characters of the
// owner's title, else the product name.
std::wstring MsgBoxCaptionOf(HWND owner);

WORD UserLanguageId();
std::string UnicodeToCodePage(const std::wstring& text, UINT codePage);

// One line of system text for a Win32 error code; never empty.
std::wstring Win32ErrorText(DWORD code);

// A number in decimal digits, the same whatever the user's locale, without a printf.
std::wstring DecimalText(unsigned long long value);

std::wstring JoinPath(const std::wstring& dir, const std::wstring& name);

// Product name from the program's version resource, read once on demand;
// empty once FinalizeUtils has run.
std::wstring GetProductName();
// Reads the name on its first call only; called with ProductNameLock held.
void LoadVersionInfo();
// Scans the bytes for the key and its null; the value runs to the next null
// or the end of the data. Empty when the key is absent.
std::wstring FindVersionValue(const void* data, const std::wstring& key, DWORD size);
void InitializeUtils();
// Releases ProductNameLock and the name; a second run changes nothing.
void FinalizeUtils();

class TKestrelCriticalSection;
extern TKestrelCriticalSection* ProductNameLock;

// The resource calls behind the version lookup, so that a test can count them.
struct VersionResourceApi {
    HRSRC(WINAPI* Find)(HMODULE, LPCWSTR, LPCWSTR);
    HGLOBAL(WINAPI* Load)(HMODULE, HRSRC);
    LPVOID(WINAPI* Lock)(HGLOBAL);
    DWORD(WINAPI* Size)(HMODULE, HRSRC);
    BOOL(WINAPI* Free)(HGLOBAL);
};
VersionResourceApi& VersionResourceCalls();

} // namespace rover
