#include "appmetrics/GoogleAnalyticsTiming.h"

#include "appmetrics/GoogleAnalyticsMetrics.h"

namespace AppMetrics {

CGoogleAnalyticsTiming::CGoogleAnalyticsTiming(const CTimingData& data, std::weak_ptr<CGoogleAnalyticsProxy> proxy,
                                               std::shared_ptr<IClock> clock)
    : m_proxy(std::move(proxy)), m_clock(std::move(clock)), m_data(data), m_steadyStart(m_clock->Steady())
{
}

std::chrono::microseconds CGoogleAnalyticsTiming::Elapsed() const
{
    // A wall-clock start can only be compared with the wall clock; a
    // self-started one uses the steady clock, which clock changes do not move.
    if (m_data.start) {
        return m_clock->Utc() - *m_data.start;
    }
    return m_clock->Steady() - m_steadyStart;
}

void CGoogleAnalyticsTiming::SendElapsed()
{
    Send(Elapsed().count() / 1000);
}

void CGoogleAnalyticsTiming::SendElapsedSeconds()
{
    Send(Elapsed().count() / 1000000);
}

void CGoogleAnalyticsTiming::Send(std::int64_t time)
{
    if (const std::shared_ptr<CGoogleAnalyticsProxy> proxy = m_proxy.lock()) {
        CTimingData data = m_data;
        data.time = time;
        proxy->SendTiming(data);
    }
}

} // namespace AppMetrics
