#pragma once

#include "appmetrics/Clock.h"
#include "appmetrics/HitBudget.h"
#include "appmetrics/HitSender.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace AppMetrics {

// What a metrics object is made of besides its settings. Empty pointers take
// the system's clock and sleeper and a WinInet sender to the settings' endpoint.
struct CMetricsOptions {
    std::shared_ptr<IHitSender> sender;
    std::shared_ptr<IClock> clock;
    std::shared_ptr<ISleeper> sleeper;
    CHitBudgetLimits budget;
    // How long destruction (and a crash report) waits for the queue to drain.
    std::chrono::milliseconds shutdownWait{20000};
    // The single try of the session end that destruction sends itself when the queue did not drain.
    std::chrono::milliseconds finalHitLimit{5000};
    std::size_t queueCapacity = 5000;
};

} // namespace AppMetrics
