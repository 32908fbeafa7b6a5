#include "installer/cpp_custominstaller/core/WebInstallerSource.h"

#include "cxx/core/SystemUtils.h"
#include "tests/support/Loopback.h"
#include "installer/cpp_custominstaller/core/tests/Recorders.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <condition_variable>

namespace {

using namespace CustomInstaller::Core;
using Calls = std::vector<std::string>;

// The outcome of the source's run, and the file it handed over.
class CRecordingManager : public IInstallerSourceCallback {
public:
    void OnSourceReady(std::shared_ptr<IInstaller> installer) override
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back("ready");
        m_installer = std::move(installer);
    }
    void OnSourceFailed() override
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back("failed");
    }
    void OnSourceCancelled() override
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back("cancelled");
    }
    Calls Outcomes() const
    {
        std::lock_guard guard(m_lock);
        return m_calls;
    }
    std::shared_ptr<IInstaller> Installer() const
    {
        std::lock_guard guard(m_lock);
        return m_installer;
    }

private:
    mutable std::mutex m_lock;
    Calls m_calls;
    std::shared_ptr<IInstaller> m_installer;
};

std::string Answer(const std::string& version, const std::string& url, const std::string& md5)
{
    return "[{\"id\":\"QX_PDF\",\"version\":\"" + version + "\",\"url\":\"" + url + "\",\"md5\":\"" + md5 + "\"}]";
}

class WebInstallerSourceTest : public testing::Test {
protected:
    void SetUp() override
    {
        Loopback::WriteBytes(Loopback::Folder("files") + L"\\setup.exe", Loopback::Pattern(Loopback::PatternSize));
        m_fileUrl = Cxx::Core::Utils::WideToUtf8String(Loopback::Url("files", "/setup.exe"));
    }

    // Answers the queries the script file names: "answer" for all, "answer-<n>" for the n-th (from 0).
    static void Script(const std::wstring& name, const std::string& body, int status = 200)
    {
        const std::wstring base = Loopback::Folder("component") + L"\\" + name;
        Loopback::WriteBytes(base + L".body", body);
        Loopback::WriteBytes(base + L".status", std::to_string(status));
    }
    static void ScriptQuery(int n, const std::string& body) { Script(L"answer-" + std::to_wstring(n), body); }
    static void ScriptAllQueries(const std::string& body, int status = 200) { Script(L"answer", body, status); }
    // The recorded query bodies, parsed.
    static std::vector<boost::json::object> Queries()
    {
        std::vector<boost::json::object> queries;
        for (const std::string& line : Loopback::Requests("component")) {
            const boost::json::object recorded = boost::json::parse(line).as_object();
            queries.push_back(boost::json::parse(recorded.at("body").as_string()).as_object());
        }
        return queries;
    }
    static std::string WantedVersionOf(const boost::json::object& query)
    {
        const boost::json::object& wanted = query.at("components").as_array().at(0).as_object();
        return wanted.contains("version") ? std::string(wanted.at("version").as_string()) : std::string();
    }

    std::unique_ptr<CWebInstallerSource> Source(std::wstring serviceUrl = Loopback::Url("component", "/component"))
    {
        // A run that would go on for ever is stopped at its 50th pause.
        return std::make_unique<CWebInstallerSource>(m_options, std::move(serviceUrl), m_analytics,
                                                     [this](auto) { return ++m_pauses < 50 && m_pauseAnswer; });
    }
    void RunToTheEnd(CWebInstallerSource& source)
    {
        ASSERT_TRUE(source.Start(std::weak_ptr<IInstallerSourceCallback>(m_manager), m_page));
        source.Join();
    }

    CommandLine::CInstallationDetails m_details;
    CommandLine::CInstallerOptions m_options{m_details};
    std::string m_fileUrl;
    std::atomic<int> m_pauses{0};
    bool m_pauseAnswer = true;
    std::shared_ptr<CRecordingManager> m_manager = std::make_shared<CRecordingManager>();
    std::shared_ptr<KvTest::CRecordingPage> m_page = std::make_shared<KvTest::CRecordingPage>();
    std::shared_ptr<KvTest::CRecordingAnalytics> m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
};

TEST_F(WebInstallerSourceTest, AFirstAnswerIsDownloadedVerifiedAndWritten)
{
    ScriptAllQueries(Answer("7.0.0.1125", m_fileUrl, Cxx::Core::Utils::WideToUtf8String(Loopback::PatternMd5)));
    auto source = Source();
    RunToTheEnd(*source);

    EXPECT_EQ(m_manager->Outcomes(), Calls{"ready"});
    EXPECT_TRUE(m_analytics->Hits().empty());
    EXPECT_EQ(m_pauses, 0);
    auto installer = m_manager->Installer();
    ASSERT_TRUE(installer);
    const std::wstring path = installer->GetPath();
    EXPECT_EQ(Loopback::ReadBytes(path), Loopback::Pattern(Loopback::PatternSize));

    const auto queries = Queries();
    ASSERT_EQ(queries.size(), 1u);
    const boost::json::object& application = queries[0].at("application").as_object();
    EXPECT_EQ(application.at("code").as_string(), "QXPDF");
    EXPECT_EQ(application.at("version").as_string(), "7.0.0.1125");
    std::wstring guid;
    if (Cxx::Core::Utils::ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                                             guid, Cxx::Core::Utils::RegistryView64) &&
        !guid.empty()) {
        EXPECT_EQ(application.at("uid").as_string(), Cxx::Core::Utils::WideToUtf8String(guid));
        EXPECT_EQ(application.at("puid").as_string(), application.at("uid").as_string());
    }
    const std::string arch = Cxx::Core::Utils::Is64BitWindows() ? "x64" : "x86";
    EXPECT_EQ(queries[0].at("os").as_object().at("arch").as_string(), arch);
    const boost::json::object& wanted = queries[0].at("components").as_array().at(0).as_object();
    EXPECT_EQ(wanted.at("id").as_string(), "QX_PDF");
    EXPECT_EQ(wanted.at("arch").as_string(), arch);
    EXPECT_EQ(WantedVersionOf(queries[0]), "7.0.0.1125");

    // The bar starts at 0, only grows, and the end of the download shows 50.
    const std::vector<float> progress = m_page->Progress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0.0f);
    EXPECT_EQ(progress.back(), 50.0f);
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i], progress[i - 1]);
    }

    source.reset();
    m_manager.reset();
    EXPECT_TRUE(Loopback::Exists(path)) << "the file stays while the installer object lives";
    installer.reset();
    EXPECT_FALSE(Loopback::Exists(path)) << "the file goes with the last reference to it";
}

TEST_F(WebInstallerSourceTest, EmptyOrFailedAnswersAreAskedThreeTimesThenOnceWithoutAVersion)
{
    for (const auto& [body, status] : {std::pair{std::string(), 200}, std::pair{std::string("oops"), 503}}) {
        SCOPED_TRACE(status);
        std::filesystem::remove(std::filesystem::path(Loopback::Folder("component") + L"\\requests.jsonl"));
        m_manager = std::make_shared<CRecordingManager>();
        m_page = std::make_shared<KvTest::CRecordingPage>();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        m_pauses = 0;
        ScriptAllQueries(body, status);
        RunToTheEnd(*Source());

        const auto queries = Queries();
        ASSERT_EQ(queries.size(), 4u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(WantedVersionOf(queries[i]), "7.0.0.1125");
        }
        EXPECT_EQ(WantedVersionOf(queries[3]), "");
        EXPECT_EQ(m_pauses, 3);
        EXPECT_EQ(m_analytics->Hits(), Calls{"exception /ID3_/0/2"});
        EXPECT_EQ(m_manager->Outcomes(), Calls{"failed"});
    }
}

TEST_F(WebInstallerSourceTest, AnUnreachableServiceCountsAsAFailedQuery)
{
    RunToTheEnd(*Source(L"http://127.0.0.1:" + std::to_wstring(Loopback::ClosedPort()) + L"/component"));
    EXPECT_EQ(m_pauses, 3);
    EXPECT_EQ(m_analytics->Hits(), Calls{"exception /ID3_/0/2"});
    EXPECT_EQ(m_manager->Outcomes(), Calls{"failed"});
}

TEST_F(WebInstallerSourceTest, AnAnswerWithoutTheComponentGoesStraightToTheLastQuery)
{
    const std::string md5 = Cxx::Core::Utils::WideToUtf8String(Loopback::PatternMd5);
    ScriptQuery(0, "[{\"id\":\"OTHER\",\"version\":\"1\",\"url\":\"http://h/x\",\"md5\":\"aa\"}]");
    ScriptQuery(1, Answer("7.1.0.5", m_fileUrl, md5));
    RunToTheEnd(*Source());

    const auto queries = Queries();
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(WantedVersionOf(queries[1]), "");
    EXPECT_EQ(m_pauses, 0);
    // Another version is a warning, and that version is installed anyway.
    EXPECT_EQ(m_analytics->Hits(), Calls{"exception /ID4_/0/1"});
    EXPECT_EQ(m_manager->Outcomes(), Calls{"ready"});
}

TEST_F(WebInstallerSourceTest, AFailedDownloadShowsHalfTheBarAndReportsItsStatus)
{
    const std::string md5 = Cxx::Core::Utils::WideToUtf8String(Loopback::PatternMd5);
    struct Case {
        std::string url;
        std::string md5;
        std::string hit;
        int pauses;
    };
    const Case cases[] = {
        {m_fileUrl, "00000000000000000000000000000000", "exception /ID1_/1/2", 0},
        // Whole answers that always end 100 bytes short: three attempts of ten re-sends each.
        {m_fileUrl + "?more=100&norange=1", md5, "exception /ID1_/5/2", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        m_manager = std::make_shared<CRecordingManager>();
        m_page = std::make_shared<KvTest::CRecordingPage>();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        m_pauses = 0;
        ScriptAllQueries(Answer("7.0.0.1125", c.url, c.md5));
        RunToTheEnd(*Source());
        EXPECT_EQ(m_manager->Outcomes(), Calls{"failed"});
        EXPECT_EQ(m_analytics->Hits(), Calls{c.hit});
        EXPECT_EQ(m_pauses, c.pauses);
        ASSERT_FALSE(m_page->Progress().empty());
        EXPECT_EQ(m_page->Progress().back(), 50.0f);
        EXPECT_FALSE(m_manager->Installer());
    }
}

// The protocol refuses a record with an empty field, so such an answer names no component.
TEST_F(WebInstallerSourceTest, AnAnswerWithoutUrlOrDigestNamesNoComponent)
{
    for (const std::string& body : {Answer("7.0.0.1125", "", "aa"), Answer("7.0.0.1125", m_fileUrl, "")}) {
        std::filesystem::remove(std::filesystem::path(Loopback::Folder("component") + L"\\requests.jsonl"));
        m_manager = std::make_shared<CRecordingManager>();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        ScriptAllQueries(body);
        RunToTheEnd(*Source());
        EXPECT_EQ(Queries().size(), 2u) << body;
        EXPECT_EQ(m_manager->Outcomes(), Calls{"failed"}) << body;
        EXPECT_EQ(m_analytics->Hits(), Calls{"exception /ID3_/0/2"}) << body;
        EXPECT_EQ(m_pauses, 0);
    }
}

TEST_F(WebInstallerSourceTest, AStopDuringThePauseEndsTheRunWithoutALastQuery)
{
    ScriptAllQueries(std::string());
    m_pauseAnswer = false;
    RunToTheEnd(*Source());
    EXPECT_EQ(Queries().size(), 1u);
    EXPECT_TRUE(m_manager->Outcomes().empty());
    EXPECT_TRUE(m_analytics->Hits().empty());
}

TEST_F(WebInstallerSourceTest, DownloadProgressFillsHalfTheBarAndNeverGoesBack)
{
    auto source = Source();
    ScriptAllQueries(std::string("[]"));
    RunToTheEnd(*source);
    source->OnProgress(37.0);
    source->OnProgress(10.0);
    source->OnProgress(100.0);
    EXPECT_EQ(m_page->Progress(), (std::vector<float>{18.5f, 50.0f}));
}

TEST(WebInstallerSourceRequest, BuildIdsAreReadAsLeadingDecimalNumbers)
{
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L""), 0);
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L"abc"), 0);
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L"  -42x7"), -42);
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L"+1125"), 1125);
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L"99999999999"), INT_MAX);
    EXPECT_EQ(CWebInstallerSource::ParseBuildId(L"-99999999999"), INT_MIN);
}

} // namespace
