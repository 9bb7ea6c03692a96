// Path join, release routines and system error texts.
#include <gtest/gtest.h>

#include <vector>

#include "support/ClassesUtils.h"
#include "support/Utils.h"

namespace rover {
namespace {

struct JoinCase {
    const wchar_t* Dir;
    const wchar_t* Name;
    const wchar_t* Expected;
};

TEST(JoinPath, JoinsWithOneBackslash) {
    const JoinCase cases[] = {
        {L"E:", L"Rover", L"E:\\Rover"},
        {L"E:\\", L"autorun.inf", L"E:\\autorun.inf"},
        {L"", L"Rover", L"Rover"},
        {L"", L"\\Rover", L"\\Rover"},
        {L"E:\\Rover", L"\\speller", L"E:\\Rover\\\\speller"},
        {L"\\\\server\\share", L"autorun.inf", L"\\\\server\\share\\autorun.inf"},
        {L"C:\\dir\\", L"", L"C:\\dir\\"},
        {L"C:\\dir", L"", L"C:\\dir\\"},
    };
    for (const JoinCase& c : cases)
        EXPECT_EQ(JoinPath(c.Dir, c.Name), c.Expected) << c.Dir << L" + " << c.Name;
}

// Counts its destructions so that a test sees each object die exactly once.
struct Tracked {
    explicit Tracked(int* deaths) : Deaths(deaths) {}
    ~Tracked() { ++*Deaths; }
    int* Deaths;
};

TEST(ReleaseRoutines, InterlockedFreeAndNil) {
    struct Case {
        bool Holds;
        int Calls;
        int ExpectedDeaths;
    };
    const Case cases[] = {{false, 1, 0}, {true, 1, 1}, {true, 2, 1}};
    for (const Case& c : cases) {
        int deaths = 0;
        Tracked* variable = c.Holds ? new Tracked(&deaths) : nullptr;
        for (int i = 0; i < c.Calls; ++i)
            InterlockedFreeAndNil(variable);
        EXPECT_EQ(variable, nullptr);
        EXPECT_EQ(deaths, c.ExpectedDeaths);
    }
}

TEST(ReleaseRoutines, FreeListAndNilSkipsNullEntries) {
    struct Case {
        std::vector<bool> Entries; // true: an object, false: a null entry
        int ExpectedDeaths;
    };
    const Case cases[] = {{{}, 0}, {{true, false, true}, 2}, {{false, false}, 0}, {{true}, 1}};
    for (const Case& c : cases) {
        int deaths = 0;
        auto* list = new std::vector<Tracked*>;
        for (bool object : c.Entries)
            list->push_back(object ? new Tracked(&deaths) : nullptr);
        FreeListAndNil(list);
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(deaths, c.ExpectedDeaths);
    }
    std::vector<Tracked*>* none = nullptr;
    FreeListAndNil(none);
    EXPECT_EQ(none, nullptr);
}

TEST(ReleaseRoutines, FreeListObjectsLeavesAnEmptyUsableList) {
    int deaths = 0;
    std::vector<Tracked*> list = {new Tracked(&deaths), nullptr, new Tracked(&deaths)};
    FreeListObjects(&list);
    EXPECT_EQ(deaths, 2);
    EXPECT_TRUE(list.empty());
    list.push_back(new Tracked(&deaths));
    FreeListObjects(&list);
    EXPECT_EQ(deaths, 3);
    FreeListObjects<Tracked>(nullptr);
}

// What the running system's own message table says for a code, stripped the
// same way; Wine's sentences differ from Windows', so never quote them.
std::wstring SystemText(DWORD code) {
    wchar_t buffer[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, 512, nullptr);
    while (n > 0 && (buffer[n - 1] <= L' ' || buffer[n - 1] == L'.'))
        --n;
    return std::wstring(buffer, n);
}

TEST(Win32ErrorText, SystemTextsWithoutLineEndOrFullStop) {
    for (DWORD code : {0ul, 5ul, 80ul, 107ul}) {
        const std::wstring text = Win32ErrorText(code);
        const std::wstring expected = SystemText(code);
        ASSERT_FALSE(expected.empty()) << code;
        EXPECT_EQ(text, expected) << code;
        EXPECT_NE(text.back(), L'.');
        EXPECT_GT(text.back(), L' ');
        EXPECT_GT(text.front(), L' ');
    }
}

TEST(Win32ErrorText, TextWithInsertsKeepsItsPlaceholders) {
    // 107 asks for a drive letter; it must not be formatted without one.
    const std::wstring text = Win32ErrorText(107);
    EXPECT_NE(text.find(L"%1"), std::wstring::npos) << text;
}

TEST(Win32ErrorText, UnknownCodesGiveTheFixedSentence) {
    struct Case {
        DWORD Code;
        const wchar_t* Printed;
    };
    const Case cases[] = {{0x20000001, L"536870913"}, {static_cast<DWORD>(-5), L"-5"}};
    for (const Case& c : cases) {
        wchar_t buffer[256];
        SetLastError(0);
        ASSERT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, c.Code, GetUserDefaultLangID(), buffer, 256, nullptr),
                  0u);
        const std::wstring expectedError = std::to_wstring(static_cast<int>(GetLastError()));
        const std::wstring text = Win32ErrorText(c.Code);
        EXPECT_EQ(text, std::wstring(L"Unable to get error message for Win32.Error=") + c.Printed +
                            L" (FormatError=" + expectedError + L")");
        EXPECT_NE(expectedError, L"0");
    }
}

} // namespace
} // namespace rover
