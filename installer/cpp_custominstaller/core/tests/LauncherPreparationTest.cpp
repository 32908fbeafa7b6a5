#include "installer/cpp_custominstaller/core/InstallerLauncher.h"

#include "cxx/core/thread/Interruption.h"
#include "installer/cpp_custominstaller/core/tests/Recorders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using namespace CustomInstaller::Core;
using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

// A file that answers every preparation the same way.
class CScriptedFile : public IInstaller {
public:
    CScriptedFile(int answer, std::wstring path) : m_answer(answer), m_path(std::move(path)) {}
    std::wstring GetPath() const override { return m_path; }
    int Prepare() override
    {
        ++m_prepared;
        if (m_answer < 0) {
            throw std::runtime_error("prepare");
        }
        return m_answer;
    }
    bool Write() override { return true; }
    int Prepared() const { return m_prepared; }

private:
    int m_answer;
    std::wstring m_path;
    std::atomic<int> m_prepared{0};
};

// Ready once the launcher is asked to stop, as a signer check that ends during
// the teardown; counts the launcher's attempts to run it.
struct CFileReadyOnStop : IInstaller {
    std::wstring GetPath() const override
    {
        ++started;
        return L"setup.exe";
    }
    int Prepare() override
    {
        preparing = true;
        for (int i = 0; i < 30000 && !Cxx::Core::Utils::ThisThreadStopToken().stop_requested(); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        return PR_Ready;
    }
    bool Write() override { return true; }

    mutable std::atomic<int> started{0};
    std::atomic<bool> preparing{false};
};

class LauncherPreparationTest : public testing::Test {
protected:
    // Runs one launch to its end and returns the hits.
    Calls Launch(const std::shared_ptr<IInstaller>& file, CLaunchTiming timing)
    {
        CInstallerLauncher launcher(nullptr, m_analytics, std::move(timing));
        EXPECT_TRUE(launcher.Launch(file, m_callback, m_page));
        EXPECT_TRUE(launcher.Join());
        return m_analytics->Hits();
    }

    KvTest::CVirtualTime m_time;
    std::shared_ptr<KvTest::CRecordingPage> m_page = std::make_shared<KvTest::CRecordingPage>();
    std::shared_ptr<KvTest::CRecordingAnalytics> m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
    std::shared_ptr<KvTest::CRecordingLauncherCallback> m_callback =
        std::make_shared<KvTest::CRecordingLauncherCallback>();
};

TEST_F(LauncherPreparationTest, NoFileFailsAtOnce)
{
    EXPECT_EQ(Launch(nullptr, m_time.Timing()), Calls{"exception !m_installer/IR_/0/2"});
    EXPECT_EQ(m_callback->Calls(), Calls{"failed 0"});
    EXPECT_EQ(m_time.Pauses(), 0);
    EXPECT_TRUE(m_page->Calls().empty());
}

TEST_F(LauncherPreparationTest, AFileNeverReadyIsPreparedEveryPauseForTheWholeLimitThenReportedByItsLastAnswer)
{
    for (const auto& [answer, hit, outcome] :
         {std::tuple{PR_SignerUnreadable, "exception /ID6_/0/2", "failed 0"},
          std::tuple{PR_Rewritten, "exception /ID5_/2/2", "failed 1"},
          std::tuple{PR_Written, "exception /ID5_/1/2", "failed 0"},
          std::tuple{PR_WriteFailed, "exception /ID5_/4/2", "failed 0"}}) {
        SCOPED_TRACE(answer);
        m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
        m_callback = std::make_shared<KvTest::CRecordingLauncherCallback>();
        m_page = std::make_shared<KvTest::CRecordingPage>();
        KvTest::CVirtualTime time;
        const auto file = std::make_shared<CScriptedFile>(answer, L"Z:\\nowhere\\setup.exe");
        EXPECT_EQ(Launch(file, time.Timing()), Calls{hit});
        EXPECT_EQ(m_callback->Calls(), Calls{outcome});
        // 120 s in pauses of 3 s.
        EXPECT_EQ(file->Prepared(), 40);
        EXPECT_EQ(time.Pauses(), 40);
        ASSERT_FALSE(m_page->Progress().empty());
        EXPECT_EQ(m_page->Progress().back(), 97.0f);
    }
}

TEST_F(LauncherPreparationTest, AReadyFileThatCannotBeStartedReportsTheStartError)
{
    const auto file = std::make_shared<CScriptedFile>(PR_Ready, L"Z:\\nowhere at all\\setup.exe");
    const Calls hits = Launch(file, m_time.Timing());
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_TRUE(hits[0] == "exception /IR_/2/2" || hits[0] == "exception /IR_/3/2") << hits[0];
    EXPECT_EQ(m_callback->Calls(), Calls{"failed 0"});
    EXPECT_EQ(file->Prepared(), 40);
}

TEST_F(LauncherPreparationTest, AnExceptionEndsTheRunAsAFailure)
{
    const auto file = std::make_shared<CScriptedFile>(-1, L"setup.exe");
    const Calls hits = Launch(file, m_time.Timing());
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].rfind("exception catch(...) launchInstallerImpl/IR_/", 0), 0u) << hits[0];
    EXPECT_EQ(m_callback->Calls(), Calls{"failed 0"});
    // The progress thread was stopped although nobody reached its Stop.
    const size_t sent = m_page->Progress().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(m_page->Progress().size(), sent);
}

TEST_F(LauncherPreparationTest, DestroyingTheLauncherEndsItsPauseAndAGoneManagerIsNotCalled)
{
    const auto file = std::make_shared<CScriptedFile>(PR_Written, L"setup.exe");
    std::atomic<int> pauses{0};
    CLaunchTiming timing = m_time.Timing();
    timing.pause = [&pauses](std::chrono::milliseconds) {
        ++pauses;
        return Cxx::Core::Utils::InterruptibleSleep(1h);
    };
    {
        CInstallerLauncher launcher(nullptr, m_analytics, timing);
        ASSERT_TRUE(launcher.Launch(file, m_callback, m_page));
        for (int i = 0; i < 5000 && pauses.load() == 0; ++i) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_EQ(pauses.load(), 1);
    }
    EXPECT_EQ(file->Prepared(), 1);
    EXPECT_EQ(m_analytics->Hits(), Calls{"exception /ID5_/1/2"});
    EXPECT_EQ(m_callback->Calls(), Calls{"failed 0"});

    std::weak_ptr<KvTest::CRecordingLauncherCallback> gone;
    {
        const auto manager = std::make_shared<KvTest::CRecordingLauncherCallback>();
        gone = manager;
    }
    m_analytics = std::make_shared<KvTest::CRecordingAnalytics>();
    CInstallerLauncher launcher(nullptr, m_analytics, m_time.Timing());
    ASSERT_TRUE(launcher.Launch(nullptr, gone, nullptr));
    launcher.Join();
    EXPECT_EQ(m_analytics->Hits(), Calls{"exception !m_installer/IR_/0/2"});
}

TEST_F(LauncherPreparationTest, AStopAskedForWhileTheFileIsPreparedStartsNoInstaller)
{
    const auto file = std::make_shared<CFileReadyOnStop>();
    {
        CInstallerLauncher launcher(nullptr, m_analytics, m_time.Timing());
        ASSERT_TRUE(launcher.Launch(file, m_callback, m_page));
        for (int i = 0; i < 5000 && !file->preparing; ++i) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(file->preparing);
    }
    EXPECT_EQ(file->started, 0);
    EXPECT_EQ(m_analytics->Hits(), Calls{"exception /IR_/0/2"});
    EXPECT_EQ(m_callback->Calls(), Calls{"failed 0"});
}

} // namespace
