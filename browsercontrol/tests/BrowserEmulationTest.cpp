#include "browsercontrol/BrowserEmulation.h"

#include "cxx/core/Handle.h"

#include <gtest/gtest.h>

#include <optional>

using BrowserControl::EH_CurrentUser;
using BrowserControl::EH_LocalMachine;
using BrowserControl::ResetBrowserEmulation;
using BrowserControl::SetBrowserEmulation;

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

struct CStored {
    bool exists = false;
    DWORD type = 0;
    DWORD value = 0;
};

CStored Read(HKEY root, const wchar_t* name, REGSAM view = 0)
{
    CStored stored;
    Cxx::Core::CRegKey key;
    if (::RegOpenKeyExW(root, kKey, 0, KEY_QUERY_VALUE | view, key.Put()) != ERROR_SUCCESS) {
        return stored;
    }
    DWORD size = sizeof(stored.value);
    stored.exists = ::RegQueryValueExW(key.Get(), name, nullptr, &stored.type,
                                       reinterpret_cast<BYTE*>(&stored.value), &size) == ERROR_SUCCESS;
    return stored;
}

bool WriteText(const wchar_t* name, const wchar_t* text)
{
    Cxx::Core::CRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A run that created the value deletes it at the end.
TEST(BrowserEmulation, CreatedValueIsDeletedAgain)
{
    const wchar_t* name = L"kv-emulation-created.exe";
    ResetBrowserEmulation(name, EH_CurrentUser, false);

    std::optional<DWORD> previous = 1;
    ASSERT_TRUE(SetBrowserEmulation(name, 11000, EH_CurrentUser, false, &previous));
    EXPECT_FALSE(previous.has_value());
    const CStored written = Read(HKEY_CURRENT_USER, name);
    EXPECT_TRUE(written.exists);
    EXPECT_EQ(written.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(written.value, 11000u);

    EXPECT_TRUE(ResetBrowserEmulation(name, EH_CurrentUser, false, previous));
    EXPECT_FALSE(Read(HKEY_CURRENT_USER, name).exists);
    // Nothing left to delete.
    EXPECT_FALSE(ResetBrowserEmulation(name, EH_CurrentUser, false));
}

// A value that stood there before the run is reported and put back.
TEST(BrowserEmulation, EarlierValueIsRestored)
{
    const wchar_t* name = L"kv-emulation-restored.exe";
    ASSERT_TRUE(SetBrowserEmulation(name, 10001, EH_CurrentUser, false));

    std::optional<DWORD> previous;
    ASSERT_TRUE(SetBrowserEmulation(name, 11000, EH_CurrentUser, false, &previous));
    ASSERT_TRUE(previous.has_value());
    EXPECT_EQ(*previous, 10001u);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, name).value, 11000u);

    EXPECT_TRUE(ResetBrowserEmulation(name, EH_CurrentUser, false, previous));
    const CStored restored = Read(HKEY_CURRENT_USER, name);
    EXPECT_TRUE(restored.exists);
    EXPECT_EQ(restored.value, 10001u);
    EXPECT_TRUE(ResetBrowserEmulation(name, EH_CurrentUser, false));
}

// The browser ignores a value of another type, so it counts as none.
TEST(BrowserEmulation, ValueOfAnotherTypeCountsAsNone)
{
    const wchar_t* name = L"kv-emulation-text.exe";
    ASSERT_TRUE(WriteText(name, L"11000"));
    std::optional<DWORD> previous = 1;
    ASSERT_TRUE(SetBrowserEmulation(name, 11000, EH_CurrentUser, false, &previous));
    EXPECT_FALSE(previous.has_value());
    EXPECT_EQ(Read(HKEY_CURRENT_USER, name).type, static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(ResetBrowserEmulation(name, EH_CurrentUser, false));
}

TEST(BrowserEmulation, ViewFlagWritesThe32BitView)
{
    const wchar_t* name = L"kv-emulation-view.exe";
    ASSERT_TRUE(SetBrowserEmulation(name, 11000, EH_LocalMachine, true));
    EXPECT_TRUE(Read(HKEY_LOCAL_MACHINE, name, KEY_WOW64_32KEY).exists);
    // A 64-bit system has two views: the value must not reach the 64-bit one.
    BOOL wow64 = FALSE;
    if (sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64)) {
        EXPECT_FALSE(Read(HKEY_LOCAL_MACHINE, name, KEY_WOW64_64KEY).exists);
    }
    EXPECT_TRUE(ResetBrowserEmulation(name, EH_LocalMachine, true));
    EXPECT_FALSE(Read(HKEY_LOCAL_MACHINE, name, KEY_WOW64_32KEY).exists);
}

} // namespace
