#include "appmetrics/HitBudget.h"
#include "appmetrics/tests/TestSupport.h"

#include <gtest/gtest.h>

using namespace AppMetrics;
using namespace std::chrono_literals;
using AppMetricsTest::CFakeClock;
using AppMetricsTest::CFakeSleeper;

namespace {

class HitBudget : public ::testing::Test {
protected:
    CFakeClock clock;
    CFakeSleeper sleeper{clock};
    CHitBudget budget{CHitBudgetLimits(), clock, sleeper};

    void TakeGranted(int count)
    {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(budget.Take({}).granted) << i;
        }
    }
};

} // namespace

TEST_F(HitBudget, BurstOfSixtyThenOneEveryTwoSeconds)
{
    TakeGranted(60);
    EXPECT_TRUE(sleeper.Pauses().empty());

    TakeGranted(1);
    EXPECT_EQ(sleeper.Pauses(), (std::vector<std::chrono::milliseconds>{2000ms}));
    TakeGranted(1);
    EXPECT_EQ(sleeper.Pauses().size(), 2u);
}

TEST_F(HitBudget, TokensRefillWithElapsedTime)
{
    TakeGranted(60);
    clock.Advance(10s);
    TakeGranted(5);
    EXPECT_TRUE(sleeper.Pauses().empty());

    // The part of a step already elapsed shortens the wait for the next token.
    clock.Advance(1500ms);
    TakeGranted(1);
    EXPECT_EQ(sleeper.Pauses(), (std::vector<std::chrono::milliseconds>{500ms}));
}

TEST_F(HitBudget, SessionHoldsAtMost497Hits)
{
    EXPECT_TRUE(budget.IsFirstHit());
    const CHitTicket first = budget.Take({});
    EXPECT_TRUE(first.granted && first.first && !first.last);
    EXPECT_FALSE(budget.IsFirstHit());

    for (int i = 2; i <= 496; ++i) {
        clock.Advance(2s);
        const CHitTicket ticket = budget.Take({});
        ASSERT_TRUE(ticket.granted && !ticket.first && !ticket.last) << i;
    }
    EXPECT_TRUE(budget.IsLastHit());
    const CHitTicket last = budget.Take({});
    EXPECT_TRUE(last.granted && last.last);
    EXPECT_FALSE(budget.Take({}).granted);
    EXPECT_TRUE(sleeper.Pauses().empty());

    budget.Reset();
    const CHitTicket again = budget.Take({});
    EXPECT_TRUE(again.granted && again.first);
}

TEST_F(HitBudget, ResetRestoresTheBurstAndStopEndsTheWait)
{
    TakeGranted(60);
    budget.Reset();
    TakeGranted(60);
    EXPECT_TRUE(sleeper.Pauses().empty());

    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(budget.Take(stop.get_token()).granted);
    EXPECT_TRUE(sleeper.Pauses().empty());
}

TEST_F(HitBudget, StampCountsTheSendAsTheLastTick)
{
    TakeGranted(60);
    clock.Advance(4s);
    budget.Stamp();
    TakeGranted(1);
    EXPECT_EQ(sleeper.Pauses(), (std::vector<std::chrono::milliseconds>{2000ms}));
}

TEST_F(HitBudget, InjectedLimits)
{
    CHitBudget small(CHitBudgetLimits{2, 3, 100ms}, clock, sleeper);
    EXPECT_TRUE(small.Take({}).granted);
    EXPECT_TRUE(small.Take({}).granted);
    EXPECT_TRUE(small.Take({}).last);
    EXPECT_EQ(sleeper.Pauses(), (std::vector<std::chrono::milliseconds>{100ms}));
    EXPECT_FALSE(small.Take({}).granted);
}

TEST(RetryPause, GrowsByTenSecondsUpToTenMinutes)
{
    std::vector<std::chrono::milliseconds> pauses{FirstRetryPause};
    while (pauses.size() < 60) {
        pauses.push_back(NextRetryPause(pauses.back()));
    }
    EXPECT_EQ(pauses[0], 30s);
    EXPECT_EQ(pauses[1], 40s);
    EXPECT_EQ(pauses[2], 50s);
    EXPECT_EQ(pauses[57], 600s);
    EXPECT_EQ(pauses[58], 600s);
    EXPECT_EQ(pauses[59], 600s);
}
