#include "installer/cpp_custominstaller/core/CInstaller.h"
#include "installer/cpp_custominstaller/core/InstallManager.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"

#include "installer/cpp_custominstaller/core/tests/Recorders.h"
#include "tests/nsis/TestInstallers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace CustomInstaller::Core;
using Calls = std::vector<std::string>;
namespace fs = std::filesystem;

class CFixedCommandLine : public CommandLine::INSISCommandLine {
public:
    explicit CFixedCommandLine(std::wstring text) : m_text(std::move(text)) {}
    std::wstring GetCommandLine() const override { return m_text; }

private:
    std::wstring m_text;
};

// Hands the downloaded file to the manager as soon as it starts.
class CReadySource : public IInstallerSource {
public:
    explicit CReadySource(std::shared_ptr<CInstaller> installer) : m_installer(std::move(installer)) {}
    bool Start(std::weak_ptr<IInstallerSourceCallback> callback,
               std::shared_ptr<JS::IInstallProgressJSCallback> page) override
    {
        if (page) {
            page->OnProgress(50.0f);
        }
        m_installer->Write();
        if (const auto manager = callback.lock()) {
            manager->OnSourceReady(m_installer);
        }
        return true;
    }
    bool Cancel() override { return false; }
    bool Join() override { return true; }

private:
    std::shared_ptr<CInstaller> m_installer;
};

class InstallerLauncherRunTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scope.Prepare("kv-launch-", testing::UnitTest::GetInstance()->current_test_info()->name()));
        // Started without quotes, "<root>\with blanks\setup.exe" would run "<root>\with.exe".
        m_folder = m_scope.Folder() / "with blanks";
        fs::create_directories(m_folder);
        fs::copy_file(fs::path(KvTest::TestInstallerPath(L"exit5")), m_scope.Folder() / "with.exe");
    }
    void TearDown() override { EXPECT_TRUE(m_scope.Finish()); }

    std::shared_ptr<CInstaller> Download(const std::wstring& variant)
    {
        return std::make_shared<CInstaller>(
            (m_folder / "setup.exe").wstring(),
            std::make_shared<std::stringstream>(KvTest::ReadFileBytes(KvTest::TestInstallerPath(variant))));
    }
    std::wstring ReceivedCommandLine() const
    {
        std::wstring received;
        EXPECT_TRUE(m_scope.ReadReceivedCommandLine(received));
        return received;
    }
    // From 50 toward 97, never back, ending at 97.
    static void ExpectProgressToTheEnd(const std::vector<float>& progress)
    {
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 97.0f);
        for (size_t i = 1; i < progress.size(); ++i) {
            EXPECT_GE(progress[i], progress[i - 1]);
            EXPECT_GE(progress[i], 50.0f);
        }
    }

    KvTest::CInstallerTestScope m_scope;
    KvTest::CVirtualTime m_time;
    fs::path m_folder;
    std::shared_ptr<KvTest::CRecordingPage> m_page = std::make_shared<KvTest::CRecordingPage>();
    std::shared_ptr<KvTest::CRecordingAnalytics> m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
};

TEST_F(InstallerLauncherRunTest, ASignedInstallerInAFolderWithBlanksSucceedsThroughTheManager)
{
    const auto installer = Download(L"exit0");
    const auto session = std::make_shared<KvTest::CRecordingSession>();
    CInstallManager manager(std::make_unique<CReadySource>(installer),
                            std::make_unique<CInstallerLauncher>(std::make_shared<CFixedCommandLine>(L"/S"),
                                                                 m_analytics, m_time.Timing()),
                            session, m_analytics);
    ASSERT_TRUE(manager.Start(m_page));
    manager.Wait();

    EXPECT_EQ(manager.GetState(), IS_Succeeded);
    EXPECT_EQ(m_analytics->Hits(), Calls{"event InstallerSuccessW/"});
    EXPECT_EQ(session->Calls(), Calls{"succeeded"});
    EXPECT_EQ(ReceivedCommandLine(), L"\"" + installer->GetPath() + L"\" /S");
    std::wstring name;
    EXPECT_TRUE(KvTest::ReadTestProductValue(L"DisplayName", name));

    const Calls calls = m_page->Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls.front(), "started");
    EXPECT_EQ(calls.back(), "finish");
    std::vector<float> progress = m_page->Progress();
    EXPECT_EQ(progress.front(), 0.0f);
    progress.erase(progress.begin());
    ExpectProgressToTheEnd(progress);
    EXPECT_EQ(m_time.Pauses(), 0);
}

TEST_F(InstallerLauncherRunTest, ExitCodesOtherThanZeroMapToCancelAndFailures)
{
    for (const auto& [variant, hit, outcome] :
         {std::tuple{L"exit1", "event InstallerCancelW/NSIS", "cancelled"},
          std::tuple{L"exit5", "exception /ID7_/0/2", "failed 2"},
          std::tuple{L"exit2", "exception /IN/2/2", "failed 0"}}) {
        SCOPED_TRACE(testing::Message() << variant);
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        m_page = std::make_shared<KvTest::CRecordingPage>();
        const auto callback = std::make_shared<KvTest::CRecordingLauncherCallback>();
        const auto installer = Download(variant);
        ASSERT_TRUE(installer->Write());
        CInstallerLauncher launcher(std::make_shared<CFixedCommandLine>(L"/S /TRACKING=\"a b\""), m_analytics,
                                    m_time.Timing());
        ASSERT_TRUE(launcher.Launch(installer, callback, m_page));
        launcher.Join();
        EXPECT_EQ(m_analytics->Hits(), Calls{hit});
        EXPECT_EQ(callback->Calls(), Calls{outcome});
        EXPECT_EQ(ReceivedCommandLine(), L"\"" + installer->GetPath() + L"\" /S /TRACKING=\"a b\"");
        ExpectProgressToTheEnd(m_page->Progress());
    }
}

TEST_F(InstallerLauncherRunTest, WithoutACommandLineBuilderTheFileRunsWithoutArguments)
{
    const auto installer = Download(L"exit2");
    ASSERT_TRUE(installer->Write());
    const auto callback = std::make_shared<KvTest::CRecordingLauncherCallback>();
    CInstallerLauncher launcher(nullptr, m_analytics, m_time.Timing());
    ASSERT_TRUE(launcher.Launch(installer, callback, nullptr));
    launcher.Join();
    const std::wstring received = ReceivedCommandLine();
    const std::wstring quoted = L"\"" + installer->GetPath() + L"\"";
    EXPECT_EQ(received.substr(0, quoted.size()), quoted);
    EXPECT_EQ(received.find_first_not_of(L' ', quoted.size()), std::wstring::npos) << received.c_str();
    EXPECT_EQ(callback->Calls(), Calls{"failed 0"});
}

TEST_F(InstallerLauncherRunTest, AFileWithoutTheMakersSignatureIsRewrittenUntilTheLimitAndNeverStarted)
{
    for (const wchar_t* variant : {L"unsigned", L"tampered"}) {
        SCOPED_TRACE(fs::path(variant).string());
        KvTest::CVirtualTime time;
        const auto analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        const auto page = std::make_shared<KvTest::CRecordingPage>();
        CInstallManager manager(std::make_unique<CReadySource>(Download(variant)),
                                std::make_unique<CInstallerLauncher>(std::make_shared<CFixedCommandLine>(L"/S"),
                                                                     analytics, time.Timing()),
                                nullptr, analytics);
        ASSERT_TRUE(manager.Start(page));
        manager.Wait();
        EXPECT_EQ(manager.GetState(), IS_InstallerNotStarted);
        EXPECT_EQ(analytics->Hits(), (Calls{"exception /ID5_/2/2", "event InstallerFailureW/"}));
        EXPECT_EQ(time.Pauses(), 40);
        EXPECT_EQ(page->Calls().back(), "error 1");
        EXPECT_FALSE(fs::exists(fs::path(m_scope.CommandLineFile())));
    }
}

TEST_F(InstallerLauncherRunTest, AStopRequestedWhileTheInstallerRunsDoesNotTurnItsSuccessIntoAFailure)
{
    const fs::path hold = m_scope.Folder() / "hold";
    std::ofstream(hold) << "hold";
    ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", hold.wstring().c_str());
    const auto installer = Download(L"exit0");
    ASSERT_TRUE(installer->Write());
    const auto callback = std::make_shared<KvTest::CRecordingLauncherCallback>();
    auto launcher = std::make_unique<CInstallerLauncher>(std::make_shared<CFixedCommandLine>(L"/S"), m_analytics,
                                                         m_time.Timing());
    ASSERT_TRUE(launcher->Launch(installer, callback, m_page));

    Cxx::Core::CHandle running;
    for (int i = 0; i < 1000 && !running; ++i) {
        running.Reset(::OpenMutexW(SYNCHRONIZE, FALSE, KvTest::RunningSetupMutex));
        if (!running) {
            ::Sleep(20);
        }
    }
    ASSERT_TRUE(running.IsValid()) << "the installer did not start";
    running.Reset();

    std::atomic<bool> destroying{false};
    std::thread destroyer([&] {
        destroying = true;
        launcher.reset();
    });
    while (!destroying) {
        std::this_thread::yield();
    }
    // The destructor requests the stop at once and then waits for the installer.
    ::Sleep(200);
    fs::remove(hold);
    destroyer.join();

    EXPECT_EQ(callback->Calls(), Calls{"succeeded"});
    EXPECT_TRUE(m_analytics->Hits().empty());
    ExpectProgressToTheEnd(m_page->Progress());
}

} // namespace
