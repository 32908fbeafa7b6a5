#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace Cxx::Core::Utils;

TEST(TextUtils, Utf8RoundTripAndFailures)
{
    std::wstring wide = L"stale";
    EXPECT_TRUE(Utf8ToWide("", wide));
    EXPECT_EQ(wide, L"stale");

    EXPECT_TRUE(Utf8ToWide("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", wide));
    EXPECT_EQ(wide, L"Gr\u00FC\u00DF \u20AC");

    std::string utf8;
    EXPECT_TRUE(WideToUtf8(wide, utf8));
    EXPECT_EQ(utf8, "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");

    wide = L"stale";
    EXPECT_FALSE(Utf8ToWide("\xFF", wide));
    EXPECT_TRUE(wide.empty());
    EXPECT_EQ(Utf8ToWideString("a\xFF"), L"");

    // A lone surrogate cannot be encoded: the output must not keep old text.
    utf8 = "stale";
    WideToUtf8(std::wstring(1, wchar_t(0xD800)), utf8);
    EXPECT_TRUE(utf8.empty() || utf8 == "\xEF\xBF\xBD");
}

TEST(TextUtils, MultiByteWithCodePage)
{
    wchar_t buffer[8] = L"xxxxxxx";
    EXPECT_EQ(MultiByteToWideWithCodePage(nullptr, "a", 8, CP_ACP), nullptr);
    EXPECT_EQ(MultiByteToWideWithCodePage(buffer, nullptr, 8, CP_ACP), nullptr);
    EXPECT_EQ(MultiByteToWideWithCodePage(buffer, "abc", 8, 1252), buffer);
    EXPECT_STREQ(buffer, L"abc");
    // Too small a buffer fails and leaves no half text behind.
    EXPECT_EQ(MultiByteToWideWithCodePage(buffer, "abcdefghijk", 4, 1252), nullptr);
    EXPECT_STREQ(buffer, L"");

    EXPECT_EQ(WideToCodePage(L"caf\u00e9 \u65e5", 1252), "caf\xe9 ?");
    EXPECT_EQ(CodePageToWide("caf\xe9", 1252), L"caf\u00e9");
    EXPECT_EQ(WideToCodePage(L"", 1252), "");
    EXPECT_EQ(CodePageToWide("x", 0xFFFF), L"");
}

TEST(TextUtils, VersionParse)
{
    VersionNumber v;
    v.Parse(L"7.0.0.1125");
    EXPECT_EQ(v, (VersionNumber{7, 0, 0, 1125}));
    v.Parse(L"1.2.3");
    EXPECT_EQ(v, (VersionNumber{1, 2, 3, 0}));
    v.Parse(L"6.1 ( 7601 )");
    EXPECT_EQ(v, (VersionNumber{6, 1, 7601, 0}));
    v.Parse(L"1.2");
    EXPECT_EQ(v, (VersionNumber{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
    v.Parse(std::string("10.4.2.1"));
    EXPECT_EQ(v, (VersionNumber{10, 4, 2, 1}));
    EXPECT_LT((VersionNumber{7, 0, 0, 1124}), (VersionNumber{7, 0, 0, 1125}));
}

TEST(TextUtils, FileTimeToUnixTime)
{
    auto make = [](unsigned long long ticks) {
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(ticks);
        ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        return ft;
    };
    EXPECT_EQ(FileTimeToUnixTime(make(116444736000000000ull)), 0u);
    EXPECT_EQ(FileTimeToUnixTime(make(132539328000000000ull)), 1609459200u);
    // Before 1970: no wrap-around to a huge number.
    EXPECT_EQ(FileTimeToUnixTime(make(100000000000000000ull)), 0u);
}

TEST(TextUtils, ModulePathAndDirectory)
{
    const std::wstring path = GetModuleFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.find(L"kv_cxx_core_tests.exe"), std::wstring::npos);
    EXPECT_EQ(GetModuleDirectory() + L"\\kv_cxx_core_tests.exe", path);
    EXPECT_EQ(DirectoryOfPath(L"C:\\a\\b.exe"), L"C:\\a");
    EXPECT_EQ(DirectoryOfPath(L"b.exe"), L"b.exe");
}

TEST(TextUtils, VersionStringOfSystemFile)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring kernel = std::wstring(system) + L"\\kernel32.dll";
    EXPECT_FALSE(GetFileVersionString(L"FileVersion", kernel).empty());
    EXPECT_TRUE(GetFileVersionString(L"NoSuchItem", kernel).empty());
    EXPECT_TRUE(GetFileVersionString(L"FileVersion", L"C:\\no\\such\\file.dll").empty());
}
