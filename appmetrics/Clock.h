#pragma once

#include "appmetrics/MetricsData.h"

#include <chrono>
#include <memory>
#include <stop_token>

namespace AppMetrics {

class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic; for budgets and durations that start themselves.
    virtual std::chrono::microseconds Steady() = 0;
    // Wall clock; for durations measured from a given UTC start.
    virtual UtcTimePoint Utc() = 0;
};

class ISleeper {
public:
    virtual ~ISleeper() = default;
    // False when stop was requested before the time was up.
    virtual bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop) = 0;
};

std::shared_ptr<IClock> CreateSystemClock();
// Wakes as soon as stop is requested.
std::shared_ptr<ISleeper> CreateSystemSleeper();

} // namespace AppMetrics
