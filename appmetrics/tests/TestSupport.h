#pragma once

#include "appmetrics/Clock.h"
#include "appmetrics/MetricsData.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace AppMetricsTest {

// Time that moves only when told to (or when the fake sleeper sleeps).
class CFakeClock : public AppMetrics::IClock {
public:
    std::chrono::microseconds Steady() override;
    AppMetrics::UtcTimePoint Utc() override;
    void Advance(std::chrono::microseconds step);

private:
    std::mutex m_mutex;
    std::chrono::microseconds m_steady{1000000};
    AppMetrics::UtcTimePoint m_utc{std::chrono::seconds(1700000000)};
};

// Records each pause and moves the clock by it instead of waiting.
class CFakeSleeper : public AppMetrics::ISleeper {
public:
    explicit CFakeSleeper(CFakeClock& clock) : m_clock(clock) {}
    bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop) override;
    std::vector<std::chrono::milliseconds> Pauses();

private:
    CFakeClock& m_clock;
    std::mutex m_mutex;
    std::vector<std::chrono::milliseconds> m_pauses;
};

// One POST as the loopback collector recorded it.
struct CRecordedHit {
    std::string path;
    std::string userAgent;
    std::string body;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string status;

    // The value of the first field of that name; empty when absent.
    std::string Field(const std::string& name) const;
    std::size_t Count(const std::string& name) const;
    std::vector<std::string> Names() const;
};

// The collector started beside the test (tests/servers/collector.py).
class CCollector {
public:
    // The dynamic port the collector listens on, from the environment.
    static AppMetrics::CCollectorEndpoint Endpoint();
    // Scripts the answers, one line per rule ("500", "3x500", "*xstall").
    static void Script(const std::string& lines);
    static std::vector<CRecordedHit> Hits();
    // Polls until the collector has recorded count hits; false after the deadline.
    static bool WaitForHits(std::size_t count, std::chrono::seconds deadline = std::chrono::seconds(30));
    static std::wstring Folder();
};

AppMetrics::CGoogleAnalyticsSettings CollectorSettings();

} // namespace AppMetricsTest
