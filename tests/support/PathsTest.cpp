// Full paths, the extended-length form for long paths, and path comparison.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/Paths.h"

namespace rover {
namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring CurrentFolder() {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring folder = current;
    if (folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

TEST(Paths, FullPathNameResolvesAndFailsEmpty) {
    const std::wstring longName(280, L'n');
    const struct {
        std::wstring Path;
        std::wstring Full;
    } cases[] = {
        {L"C:\\a\\.\\b\\..\\c", L"C:\\a\\c"},
        {L"sub\\x", CurrentFolder() + L"\\sub\\x"},
        {L"C:\\" + longName + L"\\f", L"C:\\" + longName + L"\\f"}, // longer than MAX_PATH
        {L"\\\\server\\share\\a\\..\\b", L"\\\\server\\share\\b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FullPathName(c.Path), c.Full) << Narrow(c.Path);
    SetLastError(0);
    EXPECT_EQ(FullPathName(L""), L"") << "a failure must not hand the input back";
    EXPECT_NE(GetLastError(), 0u);
}

TEST(Paths, OnlyLongPathsTakeTheExtendedForm) {
    const std::wstring deep(250, L'd');
    const std::wstring folder = CurrentFolder();
    const struct {
        std::wstring Path;
        std::wstring Call;
    } cases[] = {
        // Short paths stay as given, whatever their form: the system normalises them itself.
        {L"D:\\\\sub\\file", L"D:\\\\sub\\file"},
        {L"rel\\..\\x", L"rel\\..\\x"},
        {L"D:\\" + deep, L"\\\\?\\D:\\" + deep},
        // A source at a drive root joins with a doubled backslash; the \\?\ form would keep it.
        {L"D:\\\\" + deep + L"\\\\f", L"\\\\?\\D:\\" + deep + L"\\f"},
        {L"D:\\x\\.\\y\\..\\" + deep, L"\\\\?\\D:\\x\\" + deep},
        {L"\\\\server\\share\\" + deep, L"\\\\?\\UNC\\server\\share\\" + deep},
        {L"\\\\?\\D:\\" + deep, L"\\\\?\\D:\\" + deep},
        {L"\\\\.\\pipe\\" + deep, L"\\\\.\\pipe\\" + deep},
        {deep, L"\\\\?\\" + folder + L"\\" + deep},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtendedPath(c.Path), c.Call) << Narrow(c.Path);
}

TEST(Paths, PlainFormAndComparison) {
    const struct {
        std::wstring Path;
        std::wstring Plain;
    } plain[] = {
        {L"\\\\?\\C:\\dist\\docs", L"C:\\dist\\docs"},
        {L"\\\\?\\UNC\\server\\share\\dist", L"\\\\server\\share\\dist"},
        {L"C:\\dist", L"C:\\dist"},
        {L"\\\\server\\share", L"\\\\server\\share"},
    };
    for (const auto& c : plain)
        EXPECT_EQ(PlainPath(c.Path), c.Plain) << Narrow(c.Path);

    const struct {
        std::wstring A, B;
        bool Same;
    } compare[] = {
        {L"E:\\Rover", L"e:\\rOVER", true},
        {L"E:\\R\u00D6ver", L"e:\\r\u00F6ver", true}, // beyond ASCII, as NTFS compares
        {L"E:\\Rover", L"E:\\Rover2", false},
        {L"E:\\Rover", L"E:\\Rove", false},
    };
    for (const auto& c : compare)
        EXPECT_EQ(SamePathText(c.A, c.B), c.Same) << Narrow(c.A) << " / " << Narrow(c.B);
}

} // namespace
} // namespace rover
