#include "installer/cpp_custominstaller/session/BoundedProcess.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace CustomInstaller;
namespace fs = std::filesystem;

namespace {

const wchar_t* const HelperVariables[] = {L"KV_UID_HELPER_TEXT", L"KV_UID_HELPER_EXIT", L"KV_UID_HELPER_HANG"};
const std::wstring SampleGuid = L"6f1c2b9e-3a4d-4e5f-8a7b-0c1d2e3f4a5b";

std::wstring ReadText(const fs::path& file)
{
    std::wifstream input(file);
    std::wstring text;
    std::getline(input, text);
    return text;
}

// A folder of its own per test case, with a blank in its name, holding a copy
// of the helper program.
class StoredTrackingUidTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() /
                   (L"kv session " + std::to_wstring(::GetCurrentProcessId()) + L" " +
                    Cxx::Core::Utils::Utf8ToWideString(info->name()));
        fs::remove_all(m_folder);
        ASSERT_TRUE(fs::create_directories(m_folder));
        m_program = m_folder / L"helper copy.exe";
        fs::copy_file(fs::path(Cxx::Core::Utils::GetModuleDirectory()) / L"kv_ci_session_uid_helper.exe", m_program);
        m_file = m_folder / TrackingUidFileName;
    }

    void TearDown() override
    {
        for (const wchar_t* name : HelperVariables) {
            ::SetEnvironmentVariableW(name, nullptr);
        }
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    void Plant(const std::wstring& text)
    {
        std::wofstream output(m_file);
        output << text;
    }

    std::wstring Read(std::chrono::milliseconds limit = TrackingUidJobLimit)
    {
        return ReadStoredTrackingUid(m_program.wstring(), m_file.wstring(), limit);
    }

    fs::path m_folder;
    fs::path m_program;
    fs::path m_file;
};

} // namespace

TEST_F(StoredTrackingUidTest, TakesTheIdTheCopyWroteAndRemovesItsFile)
{
    ::SetEnvironmentVariableW(L"KV_UID_HELPER_TEXT", (SampleGuid + L" trailing words").c_str());
    EXPECT_EQ(Read(), SampleGuid);
    EXPECT_FALSE(fs::exists(m_file));
}

TEST_F(StoredTrackingUidTest, AFileTheCopyDidNotProduceIsNeitherUsedNorDeleted)
{
    Plant(SampleGuid);
    ::SetEnvironmentVariableW(L"KV_UID_HELPER_EXIT", L"99");
    EXPECT_EQ(Read(), L"");
    EXPECT_EQ(ReadText(m_file), SampleGuid);

    m_program = m_folder / L"missing.exe";
    EXPECT_EQ(Read(), L"");
    EXPECT_EQ(ReadText(m_file), SampleGuid);
}

TEST_F(StoredTrackingUidTest, TextThatIsNoClientIdIsRefused)
{
    for (const std::wstring text : {L"0123", L"not-a-client-id", L"6f1c2b9e-3a4d-4e5f-8a7b-0c1d2e3f4a5"}) {
        ::SetEnvironmentVariableW(L"KV_UID_HELPER_TEXT", text.c_str());
        EXPECT_EQ(Read(), L"") << Cxx::Core::Utils::WideToUtf8String(text);
    }
}

TEST_F(StoredTrackingUidTest, ACopyThatOutlivesTheLimitIsEndedAndIgnored)
{
    // A name no other case runs, so that the search below sees only these copies.
    const fs::path hung = m_folder / L"hung helper.exe";
    fs::copy_file(m_program, hung);
    m_program = hung;
    Plant(SampleGuid);
    ::SetEnvironmentVariableW(L"KV_UID_HELPER_HANG", L"1");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Read(std::chrono::milliseconds(300)), L"");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(ReadText(m_file), SampleGuid);

    DWORD exitCode = 12345;
    EXPECT_EQ(RunWithTimeLimit(m_program.wstring(), L"-extractTrackingUID=x", std::chrono::milliseconds(100), exitCode),
              BR_TimedOut);
    EXPECT_EQ(exitCode, 12345u);
    std::vector<DWORD> running;
    ASSERT_TRUE(Cxx::Core::Utils::FindProcessesByName(L"hung helper.exe", running, false));
    EXPECT_TRUE(running.empty()) << running.size() << " copies still run";
}

TEST(BoundedProcess, ReportsTheExitCodeAndAProgramThatDoesNotStart)
{
    const std::wstring helper = Cxx::Core::Utils::GetModuleDirectory() + L"\\kv_ci_session_uid_helper.exe";
    DWORD exitCode = 0;
    EXPECT_EQ(RunWithTimeLimit(helper, L"", std::chrono::seconds(30), exitCode), BR_Exited);
    EXPECT_EQ(exitCode, 98u);
    exitCode = 7;
    EXPECT_EQ(RunWithTimeLimit(L"", L"cmd.exe", std::chrono::seconds(30), exitCode), BR_NotStarted);
    EXPECT_EQ(RunWithTimeLimit(helper + L".missing", L"", std::chrono::seconds(30), exitCode), BR_NotStarted);
    EXPECT_EQ(exitCode, 7u);
}

TEST(TrackingUid, TheExtractJobWritesNothingForTheOwnProduct)
{
    EXPECT_FALSE(ExtractTrackingUid(L""));
    const fs::path file = fs::temp_directory_path() / (L"kv-extract-" + std::to_wstring(::GetCurrentProcessId()));
    EXPECT_FALSE(ExtractTrackingUid(file.wstring()));
    EXPECT_FALSE(fs::exists(file));
}

TEST(TrackingUid, TheSessionGuidIsOneLowerCaseGuidPerProcess)
{
    const std::wstring guid = GetSessionGuid();
    ASSERT_EQ(guid.size(), 36u);
    for (std::size_t i = 0; i < guid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(guid[i], L'-') << i;
        } else {
            EXPECT_TRUE((guid[i] >= L'0' && guid[i] <= L'9') || (guid[i] >= L'a' && guid[i] <= L'f')) << i;
        }
    }
    EXPECT_TRUE(IsClientId(guid));
    EXPECT_EQ(GetSessionGuid(), guid);
}

TEST(TrackingUid, ClientIdsAreWhatTheAnalyticsClientAccepts)
{
    EXPECT_TRUE(IsClientId(SampleGuid));
    EXPECT_TRUE(IsClientId(L"6F1C2B9E3A4D4E5F8A7B0C1D2E3F4A5B"));
    EXPECT_TRUE(IsClientId(L"0123456789012345678901234567890123456789"));
    EXPECT_FALSE(IsClientId(L""));
    EXPECT_FALSE(IsClientId(L"1234567890.1234567890"));
    EXPECT_FALSE(IsClientId(L"6f1c2b9e-3a4d-4e5f-8a7b-0c1d2e3f4a5g"));
}
