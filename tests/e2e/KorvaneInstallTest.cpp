// Runs Korvane.exe's windowless roads end to end: the loopback component
// service names a signed test installer on the loopback file server, Korvane
// downloads, checks and runs it, and reports to the loopback collector.
#include "appmetrics/tests/TestSupport.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/network/downloader/Md5.h"
#include "tests/support/Loopback.h"
#include "tests/e2e/KorvaneProcess.h"
#include "tests/nsis/TestInstallers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

using AppMetricsTest::CCollector;
using AppMetricsTest::CRecordedHit;
using KvE2e::RunKorvane;
namespace fs = std::filesystem;

namespace {

std::string Md5Of(const std::wstring& path)
{
    std::wstring digest;
    EXPECT_EQ(Cxx::Network::Downloader::FileMd5(path, digest), Cxx::Network::Downloader::DR_Ok);
    return Cxx::Core::Utils::WideToUtf8String(digest);
}

// One field of each hit of the given type, in order.
std::vector<std::string> FieldOfEach(const std::vector<CRecordedHit>& hits, const std::string& type,
                                     const std::string& field)
{
    std::vector<std::string> values;
    for (const CRecordedHit& hit : hits) {
        if (hit.Field("t") == type) {
            values.push_back(hit.Field(field));
        }
    }
    return values;
}

std::vector<std::string> EventActions(const std::vector<CRecordedHit>& hits)
{
    return FieldOfEach(hits, "event", "ea");
}

std::vector<std::string> ExceptionTexts(const std::vector<CRecordedHit>& hits)
{
    return FieldOfEach(hits, "exception", "exd");
}

class KorvaneInstall : public testing::Test {
protected:
    void SetUp() override
    {
        if (!Cxx::Core::Utils::IsInternetConnected()) {
            GTEST_SKIP() << "this machine reports no internet connection, so Korvane ends before any download";
        }
        ASSERT_TRUE(m_scope.Prepare("kv-e2e-", testing::UnitTest::GetInstance()->current_test_info()->name()));
        // The download lands in the temporary folder; blanks in it must survive the start.
        m_temp = m_scope.Folder() / "temp with blanks";
        fs::create_directories(m_temp);
        ::SetEnvironmentVariableW(L"TEMP", m_temp.wstring().c_str());
        ::SetEnvironmentVariableW(L"TMP", m_temp.wstring().c_str());
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, KvE2e::EmulationKey, KvE2e::EmulationValue);
    }
    void TearDown() override
    {
        // Nothing was set up on a machine without internet.
        if (!m_temp.empty()) {
            EXPECT_TRUE(m_scope.Finish());
        }
    }

    // The component service names this test installer, with the digest given or its own,
    // served as the file server's query asks.
    void Offer(const std::wstring& variant, const std::string& md5 = std::string(), const std::string& query = "")
    {
        const std::wstring source = KvTest::TestInstallerPath(variant);
        ASSERT_TRUE(fs::exists(fs::path(source))) << "no test installer " << fs::path(source).string();
        const fs::path offered(Loopback::Folder("files") + L"\\setup.exe");
        fs::remove(offered);
        fs::copy_file(fs::path(source), offered);
        const std::string url = Cxx::Core::Utils::WideToUtf8String(Loopback::Url("files", "/setup.exe" + query));
        Loopback::WriteBytes(Loopback::Folder("component") + L"\\answer.body",
                             "[{\"id\":\"QX_PDF\",\"version\":\"7.0.0.1125\",\"url\":\"" + url + "\",\"md5\":\"" +
                                 (md5.empty() ? Md5Of(source) : md5) + "\"}]");
    }
    static void ForgetHits() { fs::remove(fs::path(CCollector::Folder() + L"\\hits.jsonl")); }
    // Korvane waits for its hits to leave before it ends, so they are all there.
    static std::vector<CRecordedHit> HitsOfTheRun()
    {
        EXPECT_TRUE(CCollector::WaitForHits(1));
        return CCollector::Hits();
    }
    bool LeftoverDownloads() const
    {
        return std::any_of(fs::directory_iterator(m_temp), fs::directory_iterator(),
                           [](const fs::directory_entry& entry) { return entry.is_regular_file(); });
    }
    std::wstring ReceivedCommandLine() const
    {
        std::wstring received;
        EXPECT_TRUE(m_scope.ReadReceivedCommandLine(received));
        return received;
    }

    KvTest::CInstallerTestScope m_scope;
    fs::path m_temp;
};

TEST_F(KorvaneInstall, ASilentRunDownloadsChecksAndRunsTheSignedInstaller)
{
    Offer(L"exit0");
    // The installer waits while this file exists, so the run can be looked at halfway.
    const fs::path hold = m_scope.Folder() / "hold";
    std::ofstream(hold) << "hold";
    ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", hold.wstring().c_str());
    const Cxx::Core::CHandle korvane =
        KvE2e::StartKorvane(L"/S /GA_TRACKING_UID=6f1c2b9e3a4d4e5f8a7b0c1d2e3f4a5b /TRACKING=\"web page\"");
    ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", nullptr);
    ASSERT_TRUE(korvane);
    bool running = false;
    for (int i = 0; i < 1500 && !running; ++i) {
        running = Cxx::Core::CHandle(::OpenMutexW(SYNCHRONIZE, FALSE, KvTest::RunningSetupMutex)).IsValid();
        if (!running) {
            ASSERT_EQ(::WaitForSingleObject(korvane.Get(), 20), static_cast<DWORD>(WAIT_TIMEOUT))
                << "Korvane ended before the installer ran";
        }
    }
    ASSERT_TRUE(running) << "the installer did not start";
    EXPECT_TRUE(KvE2e::ReadEmulationValue().has_value()) << "the page's browser emulation is not set while the run goes on";
    fs::remove(hold);
    EXPECT_EQ(KvE2e::WaitForExit(korvane), 0);
    EXPECT_FALSE(KvE2e::ReadEmulationValue().has_value()) << "the run did not take its emulation value back";

    std::wstring name;
    EXPECT_TRUE(KvTest::ReadTestProductValue(L"DisplayName", name));
    EXPECT_EQ(name, L"Vellix PDF Pro");

    // The given client id, the options with their defaults, and the windowless road's own.
    const std::wstring received = ReceivedCommandLine();
    const std::wstring folder = L"\"" + m_temp.wstring() + L"\\";
    ASSERT_EQ(received.substr(0, folder.size()), folder) << fs::path(received).string();
    const std::wstring arguments = received.substr(received.find(L'"', 1) + 1);
    EXPECT_EQ(arguments, L" /GA_TRACKING_UID=\"6f1c2b9e3a4d4e5f8a7b0c1d2e3f4a5b\" /TRACKING=\"web page\" /BUILD_ID=\"0\""
                         L" /LANG=\"en\" /DELAY=0 /S")
        << fs::path(received).string();
    EXPECT_FALSE(LeftoverDownloads()) << "the downloaded installer outlived the run";

    const std::vector<CRecordedHit> hits = HitsOfTheRun();
    EXPECT_EQ(EventActions(hits), (std::vector<std::string>{"InstallerStartW", "InstallerSuccessW", "InstallerFinishW"}));
    EXPECT_TRUE(ExceptionTexts(hits).empty());
}

TEST_F(KorvaneInstall, TheVerySilentAndNoInterfaceRoadsPassTheirOptionOn)
{
    for (const auto& [option, passed] : {std::pair{L"/VS", L" /VS"}, std::pair{L"/NO_UI", L" /NO_UI"}}) {
        SCOPED_TRACE(fs::path(option).string());
        ASSERT_TRUE(KvTest::RemoveTestProduct());
        ForgetHits();
        Offer(L"exit0");
        EXPECT_EQ(RunKorvane(option), 0);
        std::wstring name;
        EXPECT_TRUE(KvTest::ReadTestProductValue(L"DisplayName", name));
        const std::wstring received = ReceivedCommandLine();
        EXPECT_NE(received.find(passed), std::wstring::npos) << fs::path(received).string();
        EXPECT_FALSE(LeftoverDownloads());

        const std::vector<CRecordedHit> hits = HitsOfTheRun();
        const auto actions = EventActions(hits);
        EXPECT_NE(std::find(actions.begin(), actions.end(), "InstallerSuccessW"), actions.end());
        EXPECT_EQ(std::count_if(hits.begin(), hits.end(), [](const CRecordedHit& hit) { return hit.Field("sc") == "start"; }),
                  1);
        EXPECT_EQ(std::count_if(hits.begin(), hits.end(), [](const CRecordedHit& hit) { return hit.Field("sc") == "end"; }),
                  1);
    }
}

// A connection that goes silent halfway meets the receive time-out (30 s),
// one that slows to a trickle after a fast half the stall limit (less than
// 1 KiB in a minute), and the download resumes where it stopped. This case
// waits both out once.
TEST_F(KorvaneInstall, ADownloadWhoseConnectionGoesSilentOrTricklesResumesAndInstalls)
{
    const std::string half = std::to_string(fs::file_size(fs::path(KvTest::TestInstallerPath(L"exit0"))) / 2);
    for (const std::string& query : {"?dead=" + half, "?fast=" + half + "&trickle=100&trickled=1"}) {
        SCOPED_TRACE(query);
        ASSERT_TRUE(KvTest::RemoveTestProduct());
        Offer(L"exit0", "", query);
        const std::size_t before = Loopback::Requests("files").size();
        EXPECT_EQ(RunKorvane(L"/S", 150000), 0);
        std::wstring name;
        EXPECT_TRUE(KvTest::ReadTestProductValue(L"DisplayName", name));
        const std::vector<std::string> requests = Loopback::Requests("files");
        ASSERT_EQ(requests.size() - before, 2u);
        // Resumed, not started again.
        EXPECT_NE(requests.back().find("\"range\": \"bytes="), std::string::npos) << requests.back();
        EXPECT_FALSE(LeftoverDownloads());
    }
}

TEST_F(KorvaneInstall, FailuresEndWithTheirExitCodeAndReportTheirCause)
{
    struct CCase {
        const wchar_t* variant;
        std::string md5;
        int exitCode;
        std::string exception;
        const char* outcome;
    };
    const CCase cases[] = {
        {L"exit0", "0123456789abcdef0123456789abcdef", 12, "ID1_", "InstallerFailureW"},
        {L"exit1", "", 13, "", "InstallerCancelW"},
        {L"exit5", "", 11, "ID7_", "InstallerFailureW"},
        {L"exit2", "", 14, "IN", "InstallerFailureW"},
    };
    for (const CCase& failure : cases) {
        SCOPED_TRACE(fs::path(failure.variant).string() + " " + failure.md5);
        ForgetHits();
        Offer(failure.variant, failure.md5);
        EXPECT_EQ(RunKorvane(L"/S"), failure.exitCode);
        std::wstring name;
        EXPECT_FALSE(KvTest::ReadTestProductValue(L"DisplayName", name));
        EXPECT_FALSE(LeftoverDownloads());

        const std::vector<CRecordedHit> hits = HitsOfTheRun();
        const auto actions = EventActions(hits);
        EXPECT_NE(std::find(actions.begin(), actions.end(), failure.outcome), actions.end());
        EXPECT_NE(std::find(actions.begin(), actions.end(), "InstallerFinishW"), actions.end());
        const auto exceptions = ExceptionTexts(hits);
        if (failure.exception.empty()) {
            EXPECT_TRUE(exceptions.empty());
        } else {
            ASSERT_EQ(exceptions.size(), 1u);
            EXPECT_EQ(exceptions[0].substr(0, failure.exception.size()), failure.exception) << exceptions[0];
        }
    }
}

// Without a switch the page never shows (the browser cannot render here): the road times out
// once and runs the installer with its own interface, which the test installer goes through alone.
TEST_F(KorvaneInstall, WithoutASwitchThePageTimesOutAndTheInstallerShowsItsOwnInterface)
{
    Offer(L"exit0");
    ::SetEnvironmentVariableW(L"KV_NSIS_AUTO_PAGES", L"1");
    EXPECT_EQ(RunKorvane(L"/GA_TRACKING_UID=6f1c2b9e3a4d4e5f8a7b0c1d2e3f4a5b"), 0);
    ::SetEnvironmentVariableW(L"KV_NSIS_AUTO_PAGES", nullptr);
    std::wstring name;
    EXPECT_TRUE(KvTest::ReadTestProductValue(L"DisplayName", name));
    std::wstring parsed;
    ASSERT_TRUE(KvTest::ReadUtf16File(m_scope.CommandLineFile() + L".parsed", parsed));
    EXPECT_EQ(parsed.substr(0, parsed.find(L'\r')), L"silent=0");
    const std::wstring received = ReceivedCommandLine();
    EXPECT_EQ(received.substr(received.find(L'"', 1) + 1),
              L" /GA_TRACKING_UID=\"6f1c2b9e3a4d4e5f8a7b0c1d2e3f4a5b\" /BUILD_ID=\"0\" /LANG=\"en\" /DELAY=0")
        << fs::path(received).string();
    EXPECT_TRUE(fs::is_empty(m_temp)) << "the page or the download outlived the run";

    const std::vector<CRecordedHit> hits = HitsOfTheRun();
    EXPECT_EQ(EventActions(hits), (std::vector<std::string>{"InstallerStartW", "InstallerSuccessW", "InstallerFinishW"}));
    const auto exceptions = ExceptionTexts(hits);
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(exceptions[0].substr(0, 2), "IJ") << exceptions[0];
    EXPECT_EQ(exceptions[0].substr(exceptions[0].size() - 8), "_timeout") << exceptions[0];
}

TEST_F(KorvaneInstall, AServiceWithoutTheComponentEndsWith12)
{
    Loopback::WriteBytes(Loopback::Folder("component") + L"\\answer.body", "[]");
    EXPECT_EQ(RunKorvane(L"/S"), 12);
    const auto exceptions = ExceptionTexts(HitsOfTheRun());
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(exceptions[0].substr(0, 4), "ID3_");
    EXPECT_EQ(Loopback::Requests("component").size(), 2u) << "one query with the version, one without";
}

} // namespace
