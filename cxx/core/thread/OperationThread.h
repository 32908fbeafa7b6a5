#pragma once

#include "cxx/core/thread/Interruption.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

namespace Cxx::Core::Utils {

// Runs one operation at a time on a worker thread of its own. The operation
// sees its stop token through ThisThreadStopToken(), so InterruptibleSleep and
// InterruptionPoint inside it answer Interrupt().
class COperationThread {
public:
    COperationThread() = default;
    COperationThread(const COperationThread&) = delete;
    COperationThread& operator=(const COperationThread&) = delete;
    // Interrupts the running operation and joins its thread.
    virtual ~COperationThread();

    // False when an operation is still running (the callable is then dropped
    // unrun); true once the new thread is running. Throws CThreadInterrupted
    // when the calling thread is asked to stop while it waits for the start.
    template <typename Callable>
    bool Start(Callable operation)
    {
        return StartFunction(std::function<void()>(std::move(operation)));
    }

    // Asks the running operation to stop at its next interruption point.
    void Interrupt();

    // True when no operation runs or it ended within timeoutMs; a negative
    // time-out waits without limit. Called from the worker itself it cannot
    // join and answers false.
    bool Wait(int timeoutMs);

private:
    // The start handshake: the worker clears notStarted once it runs.
    struct CThreadStartWaitVars {
        std::condition_variable started;
        std::mutex mutex;
        bool notStarted = true;
    };

    // Shared with the worker, which touches nothing else once its operation ended.
    struct CRunState {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };

    // Owned only by this object (and by a Wait in progress), never by the
    // worker, so the thread object is never released on its own thread.
    struct CWorker {
        std::shared_ptr<CRunState> state;
        std::stop_source stop;
        std::thread::id id;
        std::mutex joinMutex;
        std::jthread thread;
    };

    bool StartFunction(std::function<void()> operation);
    // Joins a worker whose operation has ended (or waits for it without limit).
    static void Join(CWorker& worker);
    static bool IsDone(CRunState& state);
    static void ThreadProc(std::stop_token token, std::weak_ptr<CThreadStartWaitVars> handshake,
                           std::shared_ptr<CRunState> state, std::function<void()> operation);

    std::recursive_mutex lock;
    std::shared_ptr<CWorker> thread;
};

} // namespace Cxx::Core::Utils
