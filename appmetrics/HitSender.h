#pragma once

#include "appmetrics/HitFormat.h"
#include "appmetrics/MetricsData.h"

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace AppMetrics {

struct CHitRequest {
    std::wstring userAgent;
    CHitParameters parameters;
};

enum class EPostOutcome {
    Delivered,
    // The collector refused the hit (4xx): sending it again cannot help.
    Rejected,
    // Transport failure or server error: worth another try.
    Failed,
    // Stop came, or the time limit passed, before the collector answered.
    Abandoned,
};

class IHitSender {
public:
    virtual ~IHitSender() = default;
    // Posts one hit. Returns Abandoned as soon as stop is requested or the
    // limit has passed, even while the request is still in flight.
    virtual EPostOutcome Post(const CHitRequest& request, std::stop_token stop,
                              std::optional<std::chrono::milliseconds> limit) = 0;
};

// Posts over WinInet to the endpoint. Each request runs on a thread of its own
// that holds nothing but its copies, so an abandoned one may finish later alone.
std::shared_ptr<IHitSender> CreateWinInetHitSender(const CCollectorEndpoint& endpoint);

} // namespace AppMetrics
