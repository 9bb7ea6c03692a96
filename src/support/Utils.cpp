// Message boxes, system error texts, code-page conversion and path join.
#include "support/Utils.h"

#include <vector>

namespace rover {

namespace {

const MessageBoxApi kRealMessageBoxCalls = {&::MessageBoxExW, &::MessageBoxExA};
MessageBoxApi gMessageBoxCalls = kRealMessageBoxCalls;

bool IsBlankOrControl(wchar_t c) {
    return c <= L' ';
}

std::wstring SignedDecimal(DWORD value) {
    const long long n = static_cast<int>(value);
    return n < 0 ? L"-" + DecimalText(static_cast<unsigned long long>(-n))
                 : DecimalText(static_cast<unsigned long long>(n));
}

} // namespace

volatile bool UseAnsiMessageBoxEx = false;

MessageBoxApi& MessageBoxCalls() {
    return gMessageBoxCalls;
}
const MessageBoxApi& RealMessageBoxCalls() {
    return kRealMessageBoxCalls;
}

WORD UserLanguageId() {
    return GetUserDefaultLangID();
}

std::string UnicodeToCodePage(const std::wstring& text, UINT codePage) {
    if (text.empty())
        return std::string();
    if (codePage == 1200)
        codePage = CP_ACP;
    const int length = static_cast<int>(text.size());
    // UTF-8 is encoded directly, without asking the system for a size first.
    if (codePage == CP_UTF8) {
        std::string out;
        for (int i = 0; i < length; ++i) {
            unsigned long c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (c >> 18));
                out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    }
    const int size =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    const int written =
        WideCharToMultiByte(codePage, 0, text.data(), length, &out[0], size, nullptr, nullptr);
    if (written != size)
        out.resize(static_cast<size_t>(written < size ? (written > 0 ? written : 0) : size));
    return out;
}

int MsgBoxCaption(const std::wstring& text, UINT flags, HWND owner, const std::wstring& caption) {
    const UINT boxFlags = flags | kForcedBoxFlags;
    int result = 0;
    if (!UseAnsiMessageBoxEx) {
        result = gMessageBoxCalls.WideBox(owner, text.c_str(), caption.c_str(), boxFlags,
                                          UserLanguageId());
        if (result == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
            UseAnsiMessageBoxEx = true;
    }
    if (UseAnsiMessageBoxEx) {
        const std::string text8 = UnicodeToCodePage(text, GetACP());
        const std::string caption8 = UnicodeToCodePage(caption, GetACP());
        result = gMessageBoxCalls.AnsiBox(owner, text8.c_str(), caption8.c_str(), boxFlags,
                                          UserLanguageId());
    }
    return result;
}

std::wstring MsgBoxCaptionOf(HWND owner) {
    std::wstring caption;
    if (owner != nullptr) {
        wchar_t buffer[81] = {};
        const int length = GetWindowTextW(owner, buffer, 80);
        if (length > 0)
            caption.assign(buffer, static_cast<size_t>(length));
    }
    // Never the system's default title: an empty product name gives an empty bar.
    if (caption.empty())
        caption = GetProductName();
    return caption;
}

int MsgBox(const std::wstring& text, UINT flags, HWND owner) {
    return MsgBoxCaption(text, flags, owner, MsgBoxCaptionOf(owner));
}

int ErrorBox(const std::wstring& text, HWND owner) {
    return MsgBox(text, kErrorBoxFlags, owner);
}

int WarningBox(const std::wstring& text, HWND owner) {
    return MsgBox(text, kWarningBoxFlags, owner);
}

int AbortRetryIgnoreBox(const std::wstring& text, HWND owner) {
    return MsgBox(text, kAbortRetryIgnoreBoxFlags, owner);
}

std::wstring Win32ErrorText(DWORD code) {
    // IGNORE_INSERTS: a text with %1 placeholders must not be formatted
    // without its arguments; it comes back with the placeholders instead.
    const DWORD flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD language = UserLanguageId();
    wchar_t buffer[256] = {};
    DWORD n = FormatMessageW(flags, nullptr, code, language, buffer, 256, nullptr);
    DWORD formatError = 0;
    if (n == 0) {
        formatError = GetLastError();
        const bool languageMissing =
            formatError == ERROR_RESOURCE_LANG_NOT_FOUND ||
            (formatError >= ERROR_MUI_FILE_NOT_FOUND && formatError < ERROR_MUI_FILE_NOT_FOUND + 9);
        if (languageMissing) {
            n = FormatMessageW(flags, nullptr, code, 0, buffer, 256, nullptr);
            if (n == 0)
                formatError = GetLastError();
        }
    }
    if (n > 256)
        n = 256;
    while (n > 0 && (IsBlankOrControl(buffer[n - 1]) || buffer[n - 1] == L'.'))
        --n;
    DWORD start = 0;
    while (start < n && IsBlankOrControl(buffer[start]))
        ++start;
    std::wstring text(buffer + start, buffer + n);
    if (text.empty()) {
        text = L"Unable to get error message for Win32.Error=" + SignedDecimal(code) +
               L" (FormatError=" + SignedDecimal(formatError) + L")";
    }
    return text;
}

std::wstring DecimalText(unsigned long long value) {
    wchar_t digits[24];
    int i = 24;
    do {
        digits[--i] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(digits + i, digits + 24);
}

std::wstring JoinPath(const std::wstring& dir, const std::wstring& name) {
    std::wstring result = dir;
    if (!result.empty() && result.back() != L'\\')
        result += L'\\';
    result += name;
    return result;
}

} // namespace rover
