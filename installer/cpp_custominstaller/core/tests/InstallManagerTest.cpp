#include "installer/cpp_custominstaller/core/InstallManager.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"

#include "installer/cpp_custominstaller/core/tests/Recorders.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <system_error>
#include <tuple>

namespace {

using namespace CustomInstaller::Core;
using Calls = std::vector<std::string>;

struct CStageLog {
    Calls calls;
    std::weak_ptr<IInstallerSourceCallback> sourceCallback;
    std::weak_ptr<IInstallerLauncherCallback> launcherCallback;
    std::shared_ptr<IInstaller> launched;
    std::shared_ptr<JS::IInstallProgressJSCallback> sourcePage;
    std::shared_ptr<JS::IInstallProgressJSCallback> launcherPage;
    bool startAnswer = true;
    // The source's thread cannot start: Start throws as the runtime does.
    bool startThrows = false;
    bool launchAnswer = true;
    // Launch throws, as the join of the launcher's former thread can.
    bool launchThrows = false;
    // The real launcher gets the file, on a thread that has no memory left for a new thread.
    bool launchThreadFails = false;
    bool cancelAnswer = false;
    // Handed to the manager while the source is being destroyed.
    std::shared_ptr<IInstaller> readyWhenStopped;
};

class CFakeSource : public IInstallerSource {
public:
    explicit CFakeSource(CStageLog& log) : m_log(log) {}
    ~CFakeSource() override
    {
        if (const auto manager = m_log.sourceCallback.lock(); manager && m_log.readyWhenStopped) {
            manager->OnSourceReady(m_log.readyWhenStopped);
        }
        m_log.calls.push_back("source destroyed");
    }
    bool Start(std::weak_ptr<IInstallerSourceCallback> callback,
               std::shared_ptr<JS::IInstallProgressJSCallback> page) override
    {
        m_log.calls.push_back("source start");
        m_log.sourceCallback = callback;
        m_log.sourcePage = page;
        if (m_log.startThrows) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        return m_log.startAnswer;
    }
    bool Cancel() override
    {
        m_log.calls.push_back("source cancel");
        return m_log.cancelAnswer;
    }
    bool Join() override
    {
        m_log.calls.push_back("source join");
        return true;
    }

private:
    CStageLog& m_log;
};

class CFakeLauncher : public IInstallerLauncher {
public:
    explicit CFakeLauncher(CStageLog& log) : m_log(log) {}
    ~CFakeLauncher() override { m_log.calls.push_back("launcher destroyed"); }
    bool Launch(const std::shared_ptr<IInstaller>& installer, std::weak_ptr<IInstallerLauncherCallback> callback,
                std::shared_ptr<JS::IInstallProgressJSCallback> page) override
    {
        m_log.calls.push_back("launch");
        m_log.launched = installer;
        m_log.launcherCallback = callback;
        m_log.launcherPage = page;
        if (m_log.launchThrows) {
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        }
        if (m_log.launchThreadFails) {
            CInstallerLauncher launcher(nullptr, nullptr);
            const KvTest::CFailingAllocations noMemory;
            return launcher.Launch(installer, callback, page);
        }
        return m_log.launchAnswer;
    }
    bool Cancel() override
    {
        m_log.calls.push_back("launcher cancel");
        return false;
    }
    bool Join() override
    {
        m_log.calls.push_back("launcher join");
        return true;
    }

private:
    CStageLog& m_log;
};

class CFileStandIn : public IInstaller {
public:
    std::wstring GetPath() const override { return L"setup.exe"; }
    int Prepare() override { return PR_Ready; }
    bool Write() override { return true; }
};

// A page that tries to start again from inside each final callback, as a page that offers
// "try again" at once might, and records the manager's answers.
class CRestartingPage : public KvTest::CRecordingPage {
public:
    IInstallManager* manager = nullptr;
    std::vector<bool> answers;

    void OnError(int code) override
    {
        CRecordingPage::OnError(code);
        Restart();
    }
    void OnCancel() override
    {
        CRecordingPage::OnCancel();
        Restart();
    }
    void OnFinish() override
    {
        CRecordingPage::OnFinish();
        Restart();
    }

private:
    void Restart() { answers.push_back(manager->Start(std::make_shared<KvTest::CRecordingPage>())); }
};

class InstallManagerTest : public testing::Test {
protected:
    std::unique_ptr<CInstallManager> Make(bool withSource = true, bool withLauncher = true)
    {
        return std::make_unique<CInstallManager>(
            withSource ? std::make_unique<CFakeSource>(m_log) : nullptr,
            withLauncher ? std::make_unique<CFakeLauncher>(m_log) : nullptr, m_session, m_analytics);
    }
    // Starts, and hands the source's file to the launcher.
    void StartAndLaunch(CInstallManager& manager)
    {
        ASSERT_TRUE(manager.Start(m_page));
        auto source = m_log.sourceCallback.lock();
        ASSERT_TRUE(source);
        source->OnSourceReady(std::make_shared<CFileStandIn>());
        ASSERT_TRUE(m_log.launcherCallback.lock());
    }

    CStageLog m_log;
    std::shared_ptr<KvTest::CRecordingPage> m_page = std::make_shared<KvTest::CRecordingPage>();
    std::shared_ptr<KvTest::CRecordingSession> m_session = std::make_shared<KvTest::CRecordingSession>();
    std::shared_ptr<KvTest::CRecordingAnalytics> m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
};

TEST_F(InstallManagerTest, StartTellsThePageAndStartsTheSourceThenASuccessFinishesOnce)
{
    const auto manager = Make();
    EXPECT_EQ(manager->GetState(), IS_NotFinished);
    StartAndLaunch(*manager);
    EXPECT_EQ(m_log.sourcePage, m_page);
    EXPECT_EQ(m_log.launcherPage, m_page);
    ASSERT_TRUE(m_log.launched);
    EXPECT_EQ(m_log.launched->GetPath(), L"setup.exe");
    EXPECT_EQ(manager->GetState(), IS_NotFinished);
    EXPECT_TRUE(m_analytics->Hits().empty());

    m_log.launcherCallback.lock()->OnLaunchSucceeded();
    EXPECT_EQ(manager->GetState(), IS_Succeeded);
    EXPECT_EQ(m_analytics->Hits(), Calls{"event InstallerSuccessW/"});
    EXPECT_EQ(m_session->Calls(), Calls{"succeeded"});
    EXPECT_EQ(m_page->Calls(), (Calls{"started", "progress", "finish"}));
    EXPECT_EQ(m_page->Progress(), std::vector<float>{0.0f});
}

TEST_F(InstallManagerTest, ASourceThatCannotStartOrIsMissingFailsAtOnceAndStartStillAnswersTrue)
{
    for (const auto& [startAnswer, startThrows, withSource, withLauncher] :
         {std::tuple{false, false, true, true}, std::tuple{true, true, true, true},
          std::tuple{true, false, false, true}, std::tuple{true, false, true, false}}) {
        SCOPED_TRACE(testing::Message() << startAnswer << startThrows << withSource << withLauncher);
        m_log.startAnswer = startAnswer;
        m_log.startThrows = startThrows;
        m_page = std::make_shared<KvTest::CRecordingPage>();
        m_session = std::make_shared<KvTest::CRecordingSession>();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        const auto manager = Make(withSource, withLauncher);
        EXPECT_TRUE(manager->Start(m_page));
        EXPECT_EQ(manager->GetState(), IS_SourceFailed);
        EXPECT_EQ(m_analytics->Hits(), Calls{"event InstallerFailureW/"});
        EXPECT_EQ(m_session->Calls(), Calls{"failed"});
        EXPECT_EQ(m_page->Calls(), (Calls{"started", "progress", "error 0"}));
        EXPECT_TRUE(manager->Start(m_page));
    }
}

TEST_F(InstallManagerTest, LaunchFailuresMapToStateAndPageCode)
{
    for (const auto& [kind, state, page] : {std::tuple{1, IS_InstallerNotStarted, "error 1"},
                                            std::tuple{2, IS_InstallerExitCode5, "error 3"},
                                            std::tuple{7, IS_LaunchFailed, "error 0"},
                                            std::tuple{0, IS_LaunchFailed, "error 0"}}) {
        SCOPED_TRACE(kind);
        m_page = std::make_shared<KvTest::CRecordingPage>();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        const auto manager = Make();
        StartAndLaunch(*manager);
        m_log.launcherCallback.lock()->OnLaunchFailed(kind);
        EXPECT_EQ(manager->GetState(), state);
        EXPECT_EQ(m_page->Calls().back(), page);
        EXPECT_EQ(m_analytics->Hits(), Calls{"event InstallerFailureW/"});
    }
}

TEST_F(InstallManagerTest, AFileThatCannotBeLaunchedFailsTheSourceOrTheLaunch)
{
    const auto manager = Make();
    ASSERT_TRUE(manager->Start(m_page));
    m_log.sourceCallback.lock()->OnSourceReady(nullptr);
    EXPECT_EQ(manager->GetState(), IS_SourceFailed);
    EXPECT_EQ(m_page->Calls().back(), "error 0");

    m_log.launchAnswer = false;
    ASSERT_TRUE(manager->Start(m_page));
    m_log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
    EXPECT_EQ(manager->GetState(), IS_LaunchFailed);
    EXPECT_EQ(m_analytics->Hits(), (Calls{"event InstallerFailureW/", "event InstallerFailureW/"}));

    m_log.launchThreadFails = true;
    const auto page = std::make_shared<KvTest::CRecordingPage>();
    ASSERT_TRUE(manager->Start(page));
    m_log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
    EXPECT_EQ(manager->GetState(), IS_LaunchFailed);
    EXPECT_EQ(page->Calls(), (Calls{"started", "progress", "error 0"}));
    EXPECT_EQ(m_analytics->Hits(), Calls(3, "event InstallerFailureW/"));
    EXPECT_EQ(m_session->Calls(), Calls(3, "failed"));
    EXPECT_TRUE(manager->Start(m_page));

    const auto withoutLauncher = std::make_unique<CInstallManager>(std::make_unique<CFakeSource>(m_log), nullptr,
                                                                   nullptr, nullptr);
    withoutLauncher->OnSourceReady(std::make_shared<CFileStandIn>());
    EXPECT_EQ(withoutLauncher->GetState(), IS_LaunchFailed);
}

TEST_F(InstallManagerTest, CancellationsByEitherStageSendNoEvent)
{
    const auto manager = Make();
    ASSERT_TRUE(manager->Start(m_page));
    m_log.sourceCallback.lock()->OnSourceCancelled();
    EXPECT_EQ(manager->GetState(), IS_SourceCancelled);

    StartAndLaunch(*manager);
    m_log.launcherCallback.lock()->OnLaunchCancelled();
    EXPECT_EQ(manager->GetState(), IS_InstallerCancelled);
    EXPECT_TRUE(m_analytics->Hits().empty());
    EXPECT_EQ(m_session->Calls(), (Calls{"cancelled", "cancelled"}));
    const Calls page = m_page->Calls();
    EXPECT_EQ(std::count(page.begin(), page.end(), "cancel"), 2);
}

TEST_F(InstallManagerTest, WithoutAPageOnlyTheStateAndTheEventsShowTheOutcome)
{
    const auto manager = Make();
    ASSERT_TRUE(manager->Start(nullptr));
    EXPECT_FALSE(m_log.sourcePage);
    m_log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
    EXPECT_FALSE(m_log.launcherPage);
    m_log.launcherCallback.lock()->OnLaunchFailed(2);
    EXPECT_EQ(manager->GetState(), IS_InstallerExitCode5);
    EXPECT_EQ(m_analytics->Hits(), Calls{"event InstallerFailureW/"});
    EXPECT_TRUE(m_page->Calls().empty());
}

TEST_F(InstallManagerTest, StartIsRefusedWhileARunIsInFlightAndANewRunStartsUnfinished)
{
    const auto manager = Make();
    ASSERT_TRUE(manager->Start(m_page));
    const auto other = std::make_shared<KvTest::CRecordingPage>();
    EXPECT_FALSE(manager->Start(other));
    EXPECT_TRUE(other->Calls().empty());
    EXPECT_EQ(std::count(m_log.calls.begin(), m_log.calls.end(), "source start"), 1);

    m_log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
    EXPECT_FALSE(manager->Start(other));
    m_log.launcherCallback.lock()->OnLaunchFailed(1);
    EXPECT_EQ(manager->GetState(), IS_InstallerNotStarted);
    // The outcome went to the page of the run, not to the refused one.
    EXPECT_EQ(m_page->Calls().back(), "error 1");
    EXPECT_TRUE(other->Calls().empty());

    ASSERT_TRUE(manager->Start(other));
    EXPECT_EQ(manager->GetState(), IS_NotFinished);
    EXPECT_EQ(m_log.sourcePage, other);
    EXPECT_EQ(std::count(m_log.calls.begin(), m_log.calls.end(), "source start"), 2);
}

// Each outcome ends the run once, with its state, its last call into the page and its event.
// The page hears the outcome on the UI thread while the worker that reports it waits; a start
// accepted there would make the UI thread wait for that worker in turn.
TEST_F(InstallManagerTest, AStartFromInsideAFinalCallbackIsRefusedAndOneAfterItIsTaken)
{
    const Calls failure = {"event InstallerFailureW/"};
    const struct {
        const char* name;
        bool launched;
        void (*report)(CStageLog&);
        int state;
        const char* pageEnd;
        Calls hits;
    } outcomes[] = {
        {"source failed", false, [](CStageLog& log) { log.sourceCallback.lock()->OnSourceFailed(); }, IS_SourceFailed,
         "error 0", failure},
        {"source cancelled", false, [](CStageLog& log) { log.sourceCallback.lock()->OnSourceCancelled(); },
         IS_SourceCancelled, "cancel", {}},
        {"no file", false, [](CStageLog& log) { log.sourceCallback.lock()->OnSourceReady(nullptr); }, IS_SourceFailed,
         "error 0", failure},
        {"launch refused", false,
         [](CStageLog& log) {
             log.launchAnswer = false;
             log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
         },
         IS_LaunchFailed, "error 0", failure},
        {"launch throws", false,
         [](CStageLog& log) {
             log.launchThrows = true;
             log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
         },
         IS_LaunchFailed, "error 0", failure},
        {"succeeded", true, [](CStageLog& log) { log.launcherCallback.lock()->OnLaunchSucceeded(); }, IS_Succeeded,
         "finish", {"event InstallerSuccessW/"}},
        {"rejected", true, [](CStageLog& log) { log.launcherCallback.lock()->OnLaunchFailed(1); },
         IS_InstallerNotStarted, "error 1", failure},
        {"exit code 5", true, [](CStageLog& log) { log.launcherCallback.lock()->OnLaunchFailed(2); },
         IS_InstallerExitCode5, "error 3", failure},
        {"launch cancelled", true, [](CStageLog& log) { log.launcherCallback.lock()->OnLaunchCancelled(); },
         IS_InstallerCancelled, "cancel", {}},
    };
    for (const auto& c : outcomes) {
        SCOPED_TRACE(c.name);
        m_log = CStageLog();
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        const auto manager = Make();
        const auto page = std::make_shared<CRestartingPage>();
        page->manager = manager.get();
        m_page = page;
        if (c.launched) {
            StartAndLaunch(*manager);
        } else {
            ASSERT_TRUE(manager->Start(m_page));
        }
        c.report(m_log);
        EXPECT_EQ(page->answers, std::vector<bool>{false});
        EXPECT_EQ(manager->GetState(), c.state);
        EXPECT_EQ(page->Calls().back(), c.pageEnd);
        EXPECT_EQ(m_analytics->Hits(), c.hits);
        EXPECT_EQ(std::count(m_log.calls.begin(), m_log.calls.end(), "source start"), 1);
        EXPECT_TRUE(manager->Start(std::make_shared<KvTest::CRecordingPage>()));
    }
    // A source that cannot start fails inside Start itself.
    m_log = CStageLog();
    m_log.startAnswer = false;
    const auto manager = Make();
    const auto page = std::make_shared<CRestartingPage>();
    page->manager = manager.get();
    EXPECT_TRUE(manager->Start(page));
    EXPECT_EQ(page->answers, std::vector<bool>{false});
    EXPECT_EQ(page->Calls().back(), "error 0");
}

TEST_F(InstallManagerTest, CancelAsksBothStagesAndReportsNoCancellation)
{
    const auto manager = Make();
    ASSERT_TRUE(manager->Start(m_page));
    m_log.calls.clear();
    EXPECT_FALSE(manager->Cancel());
    EXPECT_EQ(m_log.calls, (Calls{"source cancel", "launcher cancel"}));
    EXPECT_EQ(manager->GetState(), IS_NotFinished);
    EXPECT_TRUE(m_session->Calls().empty());
    EXPECT_EQ(m_page->Calls(), (Calls{"started", "progress"}));

    m_log.cancelAnswer = true;
    EXPECT_TRUE(manager->Cancel());
    EXPECT_TRUE(m_session->Calls().empty());
    // The run goes on.
    m_log.sourceCallback.lock()->OnSourceReady(std::make_shared<CFileStandIn>());
    m_log.launcherCallback.lock()->OnLaunchSucceeded();
    EXPECT_EQ(manager->GetState(), IS_Succeeded);
}

// A download that succeeds while the source is being stopped runs nothing.
TEST_F(InstallManagerTest, WaitJoinsBothStagesAndDestructionStopsTheLauncherFirst)
{
    auto manager = Make();
    EXPECT_FALSE(manager->HasStarted());
    ASSERT_TRUE(manager->Start(nullptr));
    EXPECT_TRUE(manager->HasStarted());
    const auto callback = m_log.sourceCallback;
    m_log.calls.clear();
    manager->Wait();
    EXPECT_EQ(m_log.calls, (Calls{"source join", "launcher join"}));
    m_log.calls.clear();
    m_log.readyWhenStopped = std::make_shared<CFileStandIn>();
    manager.reset();
    EXPECT_EQ(m_log.calls, (Calls{"launcher destroyed", "source destroyed"}));
    EXPECT_TRUE(callback.expired());
    EXPECT_TRUE(m_analytics->Hits().empty());
    EXPECT_TRUE(m_session->Calls().empty());
}

} // namespace
