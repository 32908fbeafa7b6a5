#include "cxx/core/thread/OperationThread.h"

#include "cxx/core/Handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>

using namespace Cxx::Core::Utils;

TEST(OperationThread, WaitWithoutAnyOperationIsTrueAtOnce)
{
    COperationThread worker;
    EXPECT_TRUE(worker.Wait(0));
    EXPECT_TRUE(worker.Wait(-1));
}

TEST(OperationThread, StartReturnsOnceTheOperationRunsOnItsOwnThread)
{
    COperationThread worker;
    std::promise<std::thread::id> ran;
    auto id = ran.get_future();
    ASSERT_TRUE(worker.Start([&ran] { ran.set_value(std::this_thread::get_id()); }));
    EXPECT_NE(id.get(), std::this_thread::get_id());
    EXPECT_TRUE(worker.Wait(-1));
}

TEST(OperationThread, SecondStartWhileRunningIsRefusedAndDropsItsCallable)
{
    COperationThread worker;
    std::promise<void> release;
    auto released = release.get_future().share();
    ASSERT_TRUE(worker.Start([released] { released.wait(); }));

    std::atomic<bool> secondRan{false};
    auto witness = std::make_shared<int>(0);
    std::weak_ptr<int> watched = witness;
    EXPECT_FALSE(worker.Start([&secondRan, witness] { secondRan = true; }));
    witness.reset();
    EXPECT_TRUE(watched.expired()) << "the refused callable must be destroyed";

    EXPECT_FALSE(worker.Wait(0)) << "a running operation must not be waited out by Wait(0)";
    release.set_value();
    EXPECT_TRUE(worker.Wait(-1));
    EXPECT_FALSE(secondRan);
}

TEST(OperationThread, ThrowingOperationEndsQuietlyAndAllowsTheNextStart)
{
    COperationThread worker;
    ASSERT_TRUE(worker.Start([] { throw std::runtime_error("operation failed"); }));
    EXPECT_TRUE(worker.Wait(-1));
    ASSERT_TRUE(worker.Start([] { throw 42; }));
    EXPECT_TRUE(worker.Wait(-1));

    std::atomic<int> runs{0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(worker.Start([&runs] { ++runs; }));
        ASSERT_TRUE(worker.Wait(-1));
    }
    EXPECT_EQ(runs, 3);
}

TEST(OperationThread, StartAfterTheOperationEndedNeedsNoWait)
{
    COperationThread worker;
    std::atomic<int> runs{0};
    ASSERT_TRUE(worker.Start([&runs] { ++runs; }));
    while (!worker.Wait(10)) {
    }
    ASSERT_TRUE(worker.Start([&runs] { ++runs; }));
    EXPECT_TRUE(worker.Wait(-1));
    EXPECT_EQ(runs, 2);
}

TEST(OperationThread, CapturesAreReleasedWhenWaitReturns)
{
    COperationThread worker;
    auto payload = std::make_shared<int>(7);
    std::weak_ptr<int> watched = payload;
    ASSERT_TRUE(worker.Start([payload] {}));
    payload.reset();
    ASSERT_TRUE(worker.Wait(-1));
    EXPECT_TRUE(watched.expired());
}

TEST(OperationThread, InterruptStopsTheOperationAtItsInterruptionPoints)
{
    COperationThread worker;
    std::promise<void> sleeping;
    std::atomic<bool> sleepCompleted{true};
    std::atomic<bool> reachedEnd{false};
    ASSERT_TRUE(worker.Start([&] {
        EXPECT_TRUE(ThisThreadStopToken().stop_possible());
        sleeping.set_value();
        sleepCompleted = InterruptibleSleep(std::chrono::hours(1));
        InterruptionPoint();
        reachedEnd = true;
    }));
    sleeping.get_future().wait();
    worker.Interrupt();
    EXPECT_TRUE(worker.Wait(-1));
    EXPECT_FALSE(sleepCompleted);
    EXPECT_FALSE(reachedEnd);

    // The stop belonged to that run only.
    std::promise<bool> stopped;
    ASSERT_TRUE(worker.Start([&stopped] { stopped.set_value(ThisThreadStopToken().stop_requested()); }));
    EXPECT_FALSE(stopped.get_future().get());
}

TEST(OperationThread, DestructorInterruptsAndJoinsABlockedOperation)
{
    std::promise<void> sleeping;
    std::atomic<bool> sawStop{false};
    std::atomic<bool> wentOn{false};
    {
        COperationThread worker;
        ASSERT_TRUE(worker.Start([&] {
            sleeping.set_value();
            sawStop = !InterruptibleSleep(std::chrono::hours(1));
            InterruptionPoint();
            wentOn = true;
        }));
        sleeping.get_future().wait();
    }
    EXPECT_TRUE(sawStop) << "the destructor returned before the operation ended";
    EXPECT_FALSE(wentOn);
}

TEST(OperationThread, WaitFromTheWorkerItselfDoesNotJoinItself)
{
    COperationThread worker;
    std::promise<bool> selfWait;
    ASSERT_TRUE(worker.Start([&] { selfWait.set_value(worker.Wait(-1)); }));
    EXPECT_FALSE(selfWait.get_future().get());
    EXPECT_TRUE(worker.Wait(-1));
}

TEST(OperationThread, OperationMayDestroyItsOwnWorker)
{
    auto owner = std::make_unique<COperationThread>();
    std::promise<void> startReturned;
    std::promise<void> destroyed;
    auto gate = startReturned.get_future();
    auto done = destroyed.get_future();
    Cxx::Core::CHandle thread;
    ASSERT_TRUE(owner->Start([&] {
        gate.wait();
        thread.Reset(::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()));
        owner.reset();
        destroyed.set_value();
    }));
    startReturned.set_value();
    done.wait();
    EXPECT_EQ(owner, nullptr);
    // Nobody joins the thread any more: it must still end on its own, and
    // before the promises it used go out of scope.
    ASSERT_TRUE(thread.IsValid());
    EXPECT_EQ(::WaitForSingleObject(thread.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}
