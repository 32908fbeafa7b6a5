#include "cxx/core/thread/Interruption.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace Cxx::Core::Utils;

TEST(Interruption, OutsideAnyWorkerNothingCanStop)
{
    EXPECT_FALSE(ThisThreadStopToken().stop_possible());
    EXPECT_NO_THROW(InterruptionPoint());
    EXPECT_TRUE(InterruptibleSleep(std::chrono::milliseconds(1)));
}

TEST(Interruption, ScopeInstallsTokenAndRestoresTheFormerOne)
{
    std::stop_source outer;
    std::stop_source inner;
    {
        CStopTokenScope outerScope(outer.get_token());
        {
            CStopTokenScope innerScope(inner.get_token());
            inner.request_stop();
            EXPECT_TRUE(ThisThreadStopToken().stop_requested());
            EXPECT_THROW(InterruptionPoint(), CThreadInterrupted);
            EXPECT_FALSE(InterruptibleSleep(std::chrono::hours(1)));
        }
        EXPECT_TRUE(ThisThreadStopToken().stop_possible());
        EXPECT_FALSE(ThisThreadStopToken().stop_requested());
        EXPECT_NO_THROW(InterruptionPoint());
    }
    EXPECT_FALSE(ThisThreadStopToken().stop_possible());
}

TEST(Interruption, TokenIsPerThread)
{
    std::stop_source source;
    CStopTokenScope scope(source.get_token());
    source.request_stop();
    auto other = std::async(std::launch::async, [] { return ThisThreadStopToken().stop_possible(); });
    EXPECT_FALSE(other.get());
}

// Both ways of asking: through RequestStop, and directly on the source.
TEST(Interruption, StopEndsAnInterruptibleSleep)
{
    for (const bool direct : {false, true}) {
        std::stop_source source;
        std::promise<void> sleeping;
        auto sleeper = std::async(std::launch::async, [&] {
            CStopTokenScope scope(source.get_token());
            sleeping.set_value();
            return InterruptibleSleep(std::chrono::hours(1));
        });
        sleeping.get_future().wait();
        if (direct) {
            source.request_stop();
        } else {
            RequestStop(source);
        }
        EXPECT_FALSE(sleeper.get()) << (direct ? "direct" : "RequestStop");
    }
}

TEST(Interruption, SleepWithoutStopRunsItsTime)
{
    std::stop_source source;
    CStopTokenScope scope(source.get_token());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(InterruptibleSleep(std::chrono::milliseconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(30));
}

TEST(Interruption, InterruptedIsNoStandardException)
{
    std::stop_source source;
    CStopTokenScope scope(source.get_token());
    source.request_stop();
    bool caughtAsInterruption = false;
    try {
        try {
            InterruptionPoint();
        } catch (const std::exception&) {
            ADD_FAILURE() << "a handler of ordinary failures caught the interruption";
        }
    } catch (const CThreadInterrupted&) {
        caughtAsInterruption = true;
    }
    EXPECT_TRUE(caughtAsInterruption);
}
