#include "installer/cpp_custominstaller/core/ProgressSender.h"

#include "cxx/core/thread/Interruption.h"
#include "installer/cpp_custominstaller/core/tests/Recorders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <tuple>

namespace {

using CustomInstaller::Utils::CProgressSender;
using namespace std::chrono_literals;

constexpr float Start = 50.0f;
constexpr float End = 97.0f;
constexpr int Interval = 300;
constexpr float Factor = 0.03f;

// Lets a given number of pauses pass at once, then waits until stopped.
struct CCountedSleeper {
    std::shared_ptr<std::atomic<int>> pauses = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> lastInterval = std::make_shared<std::atomic<int>>(-1);

    CustomInstaller::Utils::Sleeper Make(int passing) const
    {
        return [pauses = pauses, lastInterval = lastInterval, passing](std::chrono::milliseconds duration) {
            lastInterval->store(static_cast<int>(duration.count()));
            if (pauses->fetch_add(1) < passing) {
                return true;
            }
            while (Cxx::Core::Utils::InterruptibleSleep(1h)) {
            }
            return false;
        };
    }
};

std::vector<float> RunSender(const std::shared_ptr<KvTest::CRecordingPage>& page, int passing, CCountedSleeper& sleeper)
{
    CProgressSender sender(page, Start, End, Interval, Factor, sleeper.Make(passing));
    sender.Start();
    for (int i = 0; i < 5000 && sleeper.pauses->load() <= passing; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GT(sleeper.pauses->load(), passing) << "the sender did not reach its last pause";
    sender.Stop();
    return page->Progress();
}

TEST(ProgressSenderTest, ValuesApproachTheEndByAShareOfTheRestAndStopShowsTheEnd)
{
    const auto page = std::make_shared<KvTest::CRecordingPage>();
    CCountedSleeper sleeper;
    const std::vector<float> values = RunSender(page, 101, sleeper);
    EXPECT_EQ(sleeper.lastInterval->load(), Interval);
    // The first pause comes before any value; Stop adds the end. The expected
    // values are rounded to two places.
    ASSERT_EQ(values.size(), 102u);
    EXPECT_NEAR(values[0], 51.41f, 0.01f);
    EXPECT_NEAR(values[1], 52.78f, 0.01f);
    EXPECT_NEAR(values[9], 62.34f, 0.01f);
    EXPECT_NEAR(values[49], 86.75f, 0.01f);
    EXPECT_NEAR(values[99], 94.76f, 0.01f);
    for (size_t i = 1; i + 1 < values.size(); ++i) {
        EXPECT_GT(values[i], values[i - 1]);
    }
    EXPECT_EQ(values.back(), End);
}

TEST(ProgressSenderTest, InSinglePrecisionTheValueStallsJustBelowTheEndAndKeepsBeingSent)
{
    const auto page = std::make_shared<KvTest::CRecordingPage>();
    CCountedSleeper sleeper;
    const std::vector<float> values = RunSender(page, 600, sleeper);
    ASSERT_EQ(values.size(), 601u);
    const float stalled = values[599];
    EXPECT_LT(stalled, End);
    EXPECT_NEAR(stalled, 96.99988f, 0.00002f);
    const auto first = std::find(values.begin(), values.end(), stalled) - values.begin();
    EXPECT_GT(first, 380);
    EXPECT_LT(first, 460);
    EXPECT_EQ(values[598], stalled);
    EXPECT_EQ(values.back(), End);

    const CProgressSender sender(page, Start, End, Interval, Factor);
    EXPECT_EQ(sender.Step(stalled), stalled);
    EXPECT_EQ(sender.Step(End), End);
    EXPECT_EQ(sender.Step(99.0f), End);
}

TEST(ProgressSenderTest, WithoutAPageOrWithBadBoundsNothingIsSent)
{
    CCountedSleeper sleeper;
    {
        CProgressSender sender(std::weak_ptr<KvTest::CRecordingPage>(), Start, End, Interval, Factor, sleeper.Make(5));
        sender.Start();
        sender.Stop();
    }
    const auto page = std::make_shared<KvTest::CRecordingPage>();
    for (const auto& [start, end, interval] : {std::tuple{-1.0f, End, Interval}, std::tuple{98.0f, End, Interval},
                                               std::tuple{Start, 0.0f, Interval}, std::tuple{Start, End, -1}}) {
        CProgressSender sender(page, start, end, interval, Factor, sleeper.Make(5));
        sender.Start();
    }
    EXPECT_EQ(sleeper.pauses->load(), 0);
    EXPECT_TRUE(page->Progress().empty());
}

// A page call that throws on the sender's thread ends the steps, not the process; Stop
// still shows the end.
TEST(ProgressSenderTest, APageCallThatThrowsEndsOnlyTheSteps)
{
    class CFailingPage final : public KvTest::CRecordingPage {
    public:
        std::atomic<bool> failed{false};
        void OnProgress(float percent) override
        {
            if (!failed.exchange(true)) {
                throw std::bad_alloc();
            }
            CRecordingPage::OnProgress(percent);
        }
    };
    const auto page = std::make_shared<CFailingPage>();
    CCountedSleeper sleeper;
    CProgressSender sender(page, Start, End, Interval, Factor, sleeper.Make(5));
    sender.Start();
    for (int i = 0; i < 5000 && !page->failed.load(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(page->failed.load());
    sender.Stop();
    EXPECT_EQ(page->Progress(), std::vector<float>{End});
    EXPECT_EQ(sleeper.pauses->load(), 1);
}

TEST(ProgressSenderTest, DestructionStopsASenderThatNobodyStopped)
{
    const auto page = std::make_shared<KvTest::CRecordingPage>();
    CCountedSleeper sleeper;
    {
        CProgressSender sender(page, Start, End, Interval, Factor, sleeper.Make(3));
        sender.Start();
        for (int i = 0; i < 5000 && sleeper.pauses->load() <= 3; ++i) {
            std::this_thread::sleep_for(1ms);
        }
    }
    // Ended in its pause: three values and no end.
    EXPECT_EQ(page->Progress().size(), 3u);

    {
        CProgressSender sender(page, Start, End, Interval, Factor);
        sender.Start();
    }
    EXPECT_EQ(page->Progress().size(), 3u);
}

} // namespace
