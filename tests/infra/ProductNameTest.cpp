// The product name: the byte scan of version data, and the one lookup of the version resource.
#include <gtest/gtest.h>

#include <string>

#include "infra/KestrelSyncObjs.h"
#include "support/Utils.h"

namespace rover {
namespace {

// A block of 16-bit elements from a string with embedded nulls, plus stray bytes.
std::string Block(const std::u16string& elements, const std::string& extraBytes = "") {
    std::string bytes(reinterpret_cast<const char*>(elements.data()), elements.size() * 2);
    return bytes + extraBytes;
}

TEST(FindVersionValue, ScansTheBytesForTheKey) {
    using namespace std::string_literals;
    struct Case {
        const char* Name;
        std::string Data;
        std::wstring Expected;
        int CutBytes; // bytes of the data left out of the size
    };
    const Case cases[] = {
        {"found after padding", Block(u"\1\2ProductName\0\0Kestrel Rover\0Tail\0"s),
         L"Kestrel Rover", 0},
        {"found without padding", Block(u"ProductName\0Kestrel\0"s), L"Kestrel", 0},
        {"at most one padding element", Block(u"ProductName\0\0\0Kestrel\0"s), L"", 0},
        {"absent",
         Block(u"ProductVersion\0\0"
               u"1.0\0CompanyName\0\0K\0"s),
         L"", 0},
        {"case matters", Block(u"productname\0\0Kestrel\0"s), L"", 0},
        {"value runs to the end", Block(u"ProductName\0\0Kest"s), L"Kest", 0},
        {"half an element at the end is not read", Block(u"ProductName\0\0Kest"s, "X"), L"Kest", 0},
        {"size ends the value", Block(u"ProductName\0\0Kestrel\0"s), L"Kes", 10},
        {"key null outside the size", Block(u"ProductName\0\0Kestrel\0"s), L"", 20},
        {"key at the very end without null", Block(u"abcProductName"s), L"", 0},
        {"longer key ending in the key", Block(u"MyProductName\0\0Tail\0ProductName\0\0Real\0"s),
         L"Tail", 0},
        {"first language table wins",
         Block(u"StringFileInfo\0"
               u"040904b0\0ProductName\0\0First\0"
               u"040704b0\0ProductName\0\0Second\0"s),
         L"First", 0},
        {"empty data", std::string(), L"", 0},
    };
    for (const Case& c : cases) {
        const DWORD size = static_cast<DWORD>(c.Data.size() - static_cast<size_t>(c.CutBytes));
        EXPECT_EQ(FindVersionValue(c.Data.data(), L"ProductName", size), c.Expected) << c.Name;
    }
    // Odd start addresses are read as well.
    const std::string shifted = "x" + Block(u"ProductName\0\0Odd\0"s);
    EXPECT_EQ(FindVersionValue(shifted.data() + 1, L"ProductName", 34), L"Odd");
}

int Lookups = 0;
HRSRC WINAPI CountingFind(HMODULE module, LPCWSTR name, LPCWSTR type) {
    ++Lookups;
    return FindResourceW(module, name, type); // the real lookup
}

// Test programs carry the program's own resources, version resource included.
TEST(ProductName, ReadFromTheVersionResourceWithOneLookup) {
    InitializeKestrelSyncObjs();
    InitializeUtils();
    VersionResourceApi saved = VersionResourceCalls();
    VersionResourceCalls().Find = &CountingFind;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(GetProductName(), L"Kestrel Rover");
    EXPECT_EQ(Lookups, 1);

    FinalizeUtils();
    EXPECT_EQ(ProductNameLock, nullptr);
    // A late caller gets an empty name, not a freed lock.
    EXPECT_EQ(GetProductName(), L"");
    FinalizeUtils();
    EXPECT_EQ(ProductNameLock, nullptr);
    EXPECT_EQ(Lookups, 1);
    VersionResourceCalls() = saved;
}

} // namespace
} // namespace rover
