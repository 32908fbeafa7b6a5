#pragma once

#include "appmetrics/Clock.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>

namespace AppMetrics {

struct CHitBudgetLimits {
    // Sends that may start without waiting.
    std::int32_t burst = 60;
    // Hits of one session; the last one closes it.
    std::int32_t hitsPerSession = 497;
    // One more send may start per step.
    std::chrono::milliseconds refillStep{2000};
};

// A hit admitted by CHitBudget::Take and where it stands in its session.
struct CHitTicket {
    bool granted = false;
    bool first = false;
    bool last = false;
};

// Per-session hit count with a token-bucket rate limit. Thread-safe: the
// worker and the inline sends (crash reports, the final session end) share it.
class CHitBudget {
public:
    CHitBudget(CHitBudgetLimits limits, IClock& clock, ISleeper& sleeper);

    void Reset();
    // A session start that was sent opens a fresh budget in which it is the first hit.
    void ResetAfterStart();
    bool IsFirstHit() const;
    bool IsLastHit() const;
    // Records a send at the current time.
    void Stamp();
    // Counts one hit of the session and waits for a send token. Not granted
    // when the session's hits are spent or stop ends the wait.
    CHitTicket Take(std::stop_token stop);

private:
    std::int64_t NowMs() const;
    // Adds the whole steps of elapsed; returns the part of a step left over.
    std::int64_t AddTokens(std::int64_t elapsedMs);

    const CHitBudgetLimits m_limits;
    IClock& m_clock;
    ISleeper& m_sleeper;
    mutable std::mutex m_mutex;
    std::int32_t m_tokens;
    std::int32_t m_hitsLeft;
    // Empty until the first take since construction or reset.
    std::optional<std::int64_t> m_lastTickMs;
};

// Pauses between the tries of one hit: 30 s, then 10 s longer each time, at most 600 s.
inline constexpr std::chrono::milliseconds FirstRetryPause{30000};
std::chrono::milliseconds NextRetryPause(std::chrono::milliseconds pause);

} // namespace AppMetrics
