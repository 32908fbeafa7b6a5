#include "installer/cpp_custominstaller/session/BrowserEmulationValue.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

using CustomInstaller::CBrowserEmulationValue;

namespace {

const wchar_t* const EmulationKey =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

std::optional<DWORD> ReadValue(const std::wstring& name)
{
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegGetValueW(HKEY_CURRENT_USER, EmulationKey, name.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

void WriteValue(const std::wstring& name, DWORD value)
{
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, EmulationKey, name.c_str(), REG_DWORD, &value, sizeof(value)),
              ERROR_SUCCESS);
}

// A value name of its own per test case, removed again at the end.
class BrowserEmulationValueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_name = L"kv-session-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(::GetTickCount64()) + L".exe";
    }
    void TearDown() override { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, EmulationKey, m_name.c_str()); }

    std::wstring m_name;
};

} // namespace

TEST_F(BrowserEmulationValueTest, AValueTheRunCreatedIsDeletedAgain)
{
    CBrowserEmulationValue value(m_name);
    ASSERT_TRUE(value.Enable());
    EXPECT_EQ(ReadValue(m_name), std::optional<DWORD>(11000));
    // A second Enable must not take the run's own value for the earlier one.
    EXPECT_FALSE(value.Enable());
    EXPECT_TRUE(value.Disable());
    EXPECT_EQ(ReadValue(m_name), std::nullopt);
    EXPECT_FALSE(value.Disable());
}

TEST_F(BrowserEmulationValueTest, AValueThatStoodBeforeIsRestoredUnlessItWasOurOwn)
{
    // 11000 is what a crashed run leaves behind: deleted, not restored for ever.
    for (const auto& [before, after] : {std::pair{DWORD{7000}, std::optional<DWORD>(7000)},
                                        std::pair{DWORD{11000}, std::optional<DWORD>()}}) {
        WriteValue(m_name, before);
        CBrowserEmulationValue value(m_name);
        ASSERT_TRUE(value.Enable());
        EXPECT_EQ(ReadValue(m_name), std::optional<DWORD>(11000));
        EXPECT_TRUE(value.Disable());
        EXPECT_EQ(ReadValue(m_name), after) << before;
    }
}

TEST_F(BrowserEmulationValueTest, NothingIsTouchedWhenTheRunWroteNothing)
{
    WriteValue(m_name, 9000);
    CBrowserEmulationValue value(m_name);
    EXPECT_FALSE(value.Disable());
    EXPECT_EQ(ReadValue(m_name), std::optional<DWORD>(9000));

    CBrowserEmulationValue unnamed(L"");
    EXPECT_FALSE(unnamed.Enable());
    EXPECT_FALSE(unnamed.Disable());
}

TEST(BrowserEmulation, TheProgramValueIsNamedAfterTheProgramFile)
{
    EXPECT_EQ(CustomInstaller::GetModuleFileNameOnly(), L"kv_ci_session_tests.exe");
    CustomInstaller::EnableBrowserEmulation();
    EXPECT_EQ(ReadValue(L"kv_ci_session_tests.exe"), std::optional<DWORD>(11000));
    CustomInstaller::DisableBrowserEmulation();
    EXPECT_EQ(ReadValue(L"kv_ci_session_tests.exe"), std::nullopt);
}
