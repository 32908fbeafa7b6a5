#pragma once

#include "appmetrics/Clock.h"
#include "appmetrics/IMetrics.h"

#include <chrono>
#include <memory>

namespace AppMetrics {

class CGoogleAnalyticsProxy;

class CGoogleAnalyticsTiming : public ITiming {
public:
    // Without a start in data the timing measures from now, on the steady clock.
    CGoogleAnalyticsTiming(const CTimingData& data, std::weak_ptr<CGoogleAnalyticsProxy> proxy,
                           std::shared_ptr<IClock> clock);

    void SendElapsedSeconds() override;
    void SendElapsed() override;

private:
    std::chrono::microseconds Elapsed() const;
    void Send(std::int64_t time);

    const std::weak_ptr<CGoogleAnalyticsProxy> m_proxy;
    const std::shared_ptr<IClock> m_clock;
    const CTimingData m_data;
    const std::chrono::microseconds m_steadyStart;
};

} // namespace AppMetrics
