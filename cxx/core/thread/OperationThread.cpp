#include "cxx/core/thread/OperationThread.h"

namespace Cxx::Core::Utils {

COperationThread::~COperationThread()
{
    Interrupt();
    Wait(-1);
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (thread && thread->id == std::this_thread::get_id()) {
        // Destroyed by its own operation: nobody is left to join it, and the
        // worker touches only its shared state from here on.
        thread->thread.detach();
    }
}

bool COperationThread::StartFunction(std::function<void()> operation)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (thread) {
        if (!IsDone(*thread->state)) {
            return false;
        }
        Join(*thread);
        thread.reset();
    }

    auto handshake = std::make_shared<CThreadStartWaitVars>();
    auto worker = std::make_shared<CWorker>();
    worker->state = std::make_shared<CRunState>();

    std::unique_lock<std::mutex> started(handshake->mutex);
    worker->thread = std::jthread(&COperationThread::ThreadProc, std::weak_ptr<CThreadStartWaitVars>(handshake),
                                  worker->state, std::move(operation));
    worker->stop = worker->thread.get_stop_source();
    worker->id = worker->thread.get_id();
    thread = worker;

    const std::stop_token callerToken = ThisThreadStopToken();
    while (handshake->notStarted) {
        if (callerToken.stop_requested()) {
            throw CThreadInterrupted();
        }
        handshake->started.wait_for(started, std::chrono::milliseconds(20));
    }
    return true;
}

void COperationThread::Interrupt()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (thread) {
        RequestStop(thread->stop);
    }
}

bool COperationThread::Wait(int timeoutMs)
{
    std::shared_ptr<CWorker> worker;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        worker = thread;
    }
    if (!worker) {
        return true;
    }
    if (worker->id == std::this_thread::get_id()) {
        return false;
    }
    if (timeoutMs >= 0) {
        std::unique_lock<std::mutex> guard(worker->state->mutex);
        if (!worker->state->finished.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                              [&worker] { return worker->state->done; })) {
            return false;
        }
    }
    Join(*worker);

    std::lock_guard<std::recursive_mutex> guard(lock);
    if (thread == worker) {
        thread.reset();
    }
    return true;
}

void COperationThread::Join(CWorker& worker)
{
    std::lock_guard<std::mutex> guard(worker.joinMutex);
    if (worker.thread.joinable()) {
        worker.thread.join();
    }
}

bool COperationThread::IsDone(CRunState& state)
{
    std::lock_guard<std::mutex> guard(state.mutex);
    return state.done;
}

void COperationThread::ThreadProc(std::stop_token token, std::weak_ptr<CThreadStartWaitVars> handshake,
                                  std::shared_ptr<CRunState> state, std::function<void()> operation)
{
    CStopTokenScope scope(std::move(token));
    if (auto vars = handshake.lock()) {
        std::lock_guard<std::mutex> guard(vars->mutex);
        vars->notStarted = false;
        vars->started.notify_all();
    }
    handshake.reset();

    try {
        operation();
    } catch (const CThreadInterrupted&) {
        // An interrupted operation simply ends.
    } catch (...) {
        // Operations report their own results; a failure must not leave the thread.
    }
    // Release what the operation captured before anyone learns it has ended.
    operation = nullptr;

    std::lock_guard<std::mutex> guard(state->mutex);
    state->done = true;
    state->finished.notify_all();
}

} // namespace Cxx::Core::Utils
