#include "appmetrics/HitBudget.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace AppMetrics {

CHitBudget::CHitBudget(CHitBudgetLimits limits, IClock& clock, ISleeper& sleeper)
    : m_limits(limits), m_clock(clock), m_sleeper(sleeper), m_tokens(limits.burst), m_hitsLeft(limits.hitsPerSession)
{
}

void CHitBudget::Reset()
{
    std::lock_guard lock(m_mutex);
    m_tokens = m_limits.burst;
    m_hitsLeft = m_limits.hitsPerSession;
    m_lastTickMs.reset();
}

void CHitBudget::ResetAfterStart()
{
    std::lock_guard lock(m_mutex);
    m_hitsLeft = m_limits.hitsPerSession - 1;
}

bool CHitBudget::IsFirstHit() const
{
    std::lock_guard lock(m_mutex);
    return m_hitsLeft == m_limits.hitsPerSession;
}

bool CHitBudget::IsLastHit() const
{
    std::lock_guard lock(m_mutex);
    return m_hitsLeft == 1;
}

void CHitBudget::Stamp()
{
    const std::int64_t now = NowMs();
    std::lock_guard lock(m_mutex);
    m_lastTickMs = now;
}

std::int64_t CHitBudget::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.Steady()).count();
}

std::int64_t CHitBudget::AddTokens(std::int64_t elapsedMs)
{
    const std::int64_t step = m_limits.refillStep.count();
    const std::int64_t sum = static_cast<std::int64_t>(m_tokens) + elapsedMs / step;
    m_tokens = static_cast<std::int32_t>(std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
    return elapsedMs % step;
}

CHitTicket CHitBudget::Take(std::stop_token stop)
{
    CHitTicket ticket;
    std::unique_lock lock(m_mutex);
    if (m_hitsLeft <= 0) {
        return ticket;
    }
    ticket.first = m_hitsLeft == m_limits.hitsPerSession;
    ticket.last = m_hitsLeft == 1;
    --m_hitsLeft;

    std::int64_t now = NowMs();
    const std::optional<std::int64_t> previous = std::exchange(m_lastTickMs, now);
    if (previous) {
        std::int64_t remainder = AddTokens(now - *previous);
        while (m_tokens < 1) {
            const std::chrono::milliseconds pause(m_limits.refillStep.count() - remainder);
            lock.unlock();
            const bool slept = m_sleeper.SleepFor(pause, stop);
            lock.lock();
            if (!slept) {
                return ticket;
            }
            now = NowMs();
            const std::int64_t elapsed = now - m_lastTickMs.value_or(now) + remainder;
            m_lastTickMs = now;
            remainder = AddTokens(elapsed);
        }
    }
    --m_tokens;
    ticket.granted = true;
    return ticket;
}

std::chrono::milliseconds NextRetryPause(std::chrono::milliseconds pause)
{
    constexpr std::chrono::milliseconds longest{600000};
    return pause < longest ? pause + std::chrono::milliseconds(10000) : pause;
}

} // namespace AppMetrics
