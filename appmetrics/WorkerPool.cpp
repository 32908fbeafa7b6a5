#include "appmetrics/WorkerPool.h"

namespace AppMetrics {

CLimitedFifoPool::CLimitedFifoPool(std::size_t capacity)
    : m_capacity(capacity), m_worker([this] { Run(); })
{
}

CLimitedFifoPool::~CLimitedFifoPool()
{
    Shutdown();
}

bool CLimitedFifoPool::Schedule(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_tasks.size() >= m_capacity) {
            return false;
        }
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
    return true;
}

void CLimitedFifoPool::Clear()
{
    std::lock_guard lock(m_mutex);
    m_tasks.clear();
    if (IsIdle()) {
        m_idle.notify_all();
    }
}

bool CLimitedFifoPool::WaitIdleFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return IsIdle(); });
}

void CLimitedFifoPool::WaitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return IsIdle(); });
}

void CLimitedFifoPool::Shutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_tasks.clear();
    }
    m_wake.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CLimitedFifoPool::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_closed || !m_tasks.empty(); });
        if (m_closed) {
            return;
        }
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_running = true;
        lock.unlock();
        try {
            task();
        } catch (...) {
            // A task that throws is lost; the worker and the tasks behind it go on.
        }
        lock.lock();
        m_running = false;
        if (IsIdle()) {
            m_idle.notify_all();
        }
    }
}

} // namespace AppMetrics
