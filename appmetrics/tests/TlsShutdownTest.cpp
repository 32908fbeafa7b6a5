#include "cxx/core/Handle.h"
#include "cxx/network/tests/TestRoot.h"
#include "cxx/network/tests/TestServer.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <optional>

namespace {

const wchar_t* const SettingsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t* const ChildAppDefaults = L"Software\\Wine\\AppDefaults\\kv_appmetrics_tls_child.exe";

std::optional<DWORD> ReadSecureProtocols()
{
    DWORD value = 0, size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, SettingsKey, L"SecureProtocols", RRF_RT_REG_DWORD, nullptr, &value,
                       &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// A client that ends while its HTTPS requests still hang gives the user's TLS
// setting back before the process ends under those requests.
TEST(TlsShutdown, AnAbandonedRequestCannotKeepTheWidenedSetting)
{
    KvTest::CTestServer server("https");
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(KvTest::TrustTestRoot());
    server.SetRoutes(R"({"*": {"delay": 60}})");

    // As Windows 7 the child needs TLS 1.0 as well, which the user's 0xA00 lacks.
    const std::wstring win7 = L"win7";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, ChildAppDefaults, L"Version", REG_SZ, win7.c_str(),
                                static_cast<DWORD>((win7.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const DWORD users = 0xA00;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"SecureProtocols", REG_DWORD, &users, sizeof(users)),
              ERROR_SUCCESS);

    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring hold = std::wstring(temp) + L"kv-tls-shutdown-" + std::to_wstring(::GetCurrentProcessId());
    std::ofstream(hold.c_str()) << "hold";
    const auto child = KvTest::StartProgram(KvTest::BuiltProgramPath(KV_TLS_CHILD_EXE),
                                            std::to_wstring(server.Port()) + L" \"" + hold + L"\"");
    ASSERT_TRUE(child.IsValid());
    for (int i = 0; i < 1000 && server.Requests().empty(); ++i) {
        ::Sleep(20);
    }
    ASSERT_EQ(server.Requests().size(), 1u) << "the event reached the server over TLS";
    EXPECT_EQ(ReadSecureProtocols(), std::optional<DWORD>(0xA80));

    ::DeleteFileW(hold.c_str());
    EXPECT_EQ(KvTest::WaitForExit(child, 30000), 0);
    EXPECT_EQ(ReadSecureProtocols(), std::optional<DWORD>(users));

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"SecureProtocols");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, ChildAppDefaults);
}

} // namespace
