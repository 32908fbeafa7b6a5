#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace AppMetrics {

// One worker thread draining a bounded first-in-first-out queue.
class CLimitedFifoPool {
public:
    explicit CLimitedFifoPool(std::size_t capacity);
    CLimitedFifoPool(const CLimitedFifoPool&) = delete;
    CLimitedFifoPool& operator=(const CLimitedFifoPool&) = delete;
    ~CLimitedFifoPool();

    // False when the queue is full or the pool has shut down.
    bool Schedule(std::function<void()> task);
    // Drops what is queued; the running task goes on.
    void Clear();
    // True when nothing was queued or running within the time.
    bool WaitIdleFor(std::chrono::milliseconds timeout);
    void WaitIdle();
    // Drops what is queued, lets the running task end and joins the worker.
    void Shutdown();

private:
    void Run();
    bool IsIdle() const { return m_tasks.empty() && !m_running; }

    const std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_tasks;
    bool m_running = false;
    bool m_closed = false;
    // Last: the worker starts once everything it uses exists.
    std::jthread m_worker;
};

} // namespace AppMetrics
