#pragma once

#include "appmetrics/HitBudget.h"
#include "appmetrics/HitFormat.h"
#include "appmetrics/HitSender.h"
#include "appmetrics/IMetrics.h"
#include "appmetrics/MetricsOptions.h"
#include "appmetrics/WorkerPool.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace AppMetrics {

// What timing objects reach the metrics object through; cut off when it goes away.
class CGoogleAnalyticsProxy {
public:
    explicit CGoogleAnalyticsProxy(IMetrics& metrics) : m_metrics(&metrics) {}

    // False once the metrics object is gone.
    bool SendTiming(const CTimingData& data);
    void Detach();

private:
    std::mutex m_mutex;
    IMetrics* m_metrics;
};

class CGoogleAnalyticsMetrics : public IMetrics {
public:
    // settings: the client id already normalised.
    CGoogleAnalyticsMetrics(const CGoogleAnalyticsSettings& settings, const CMetricsOptions& options);
    CGoogleAnalyticsMetrics(const CGoogleAnalyticsMetrics&) = delete;
    CGoogleAnalyticsMetrics& operator=(const CGoogleAnalyticsMetrics&) = delete;
    ~CGoogleAnalyticsMetrics() override;

    bool SendEvent(const CEventData& data) override;
    std::unique_ptr<ITiming> CreateTiming(const CTimingData& data) override;
    bool SendTiming(const CTimingData& data) override;
    bool SendApplicationStartType(EApplicationStartType type) override;
    bool SendBuildId(const CBuildId& data) override;
    bool SendCurrentLocale(const std::wstring& locale) override;
    bool SendDaysSinceInstall(int days) override;
    bool SendException(const CExceptionData& data) override;
    bool SendScreenView(const CScreenViewData& data) override;
    bool StartSession() override;
    bool EndSession() override;
    void SetEnabled(bool enabled) override;
    void SetAutomaticSessionManagement(bool automatic) override;
    bool SetUserLanguage(const std::string& language) override;
    bool WaitForPendingHits(int seconds) override;

    // Waits for the queue; when it does not drain in time, drops it, stops the
    // running send (pauses and the request in flight) and waits for that to end.
    bool WaitOnShutdown(std::chrono::milliseconds wait);

    // Tries of a queued hit: without limit until delivered, refused or shutdown.
    static constexpr int UnlimitedRetries = 0xffff;

private:
    bool IsEnabled() const { return m_enabled.load() != 0; }
    template <typename TRecord>
    bool Queue(TRecord record);
    template <typename TRecord>
    void SendHitTask(const TRecord& record, int retries, std::stop_token stop,
                     std::optional<std::chrono::milliseconds> limit);
    bool ShouldSendSessionControl(ESessionControl control) const;
    void OnHitSent(const CHitParameters& sent);

    const CMetricsOptions m_options;
    std::mutex m_mutex;
    CGoogleAnalyticsSettings m_settings;
    std::atomic<int> m_enabled{0};
    std::atomic<int> m_automaticSessions{1};
    // A request was given up while still running; it may hold the TLS setting.
    std::atomic<bool> m_abandonedPost{false};
    std::stop_source m_shutdown;
    const std::shared_ptr<IClock> m_clock;
    const std::shared_ptr<ISleeper> m_sleeper;
    const std::shared_ptr<IHitSender> m_sender;
    const COsFacts m_os;
    CHitBudget m_budget;
    const std::shared_ptr<CGoogleAnalyticsProxy> m_proxy;
    // Last: the worker runs tasks that use every member above.
    CLimitedFifoPool m_pool;
};

} // namespace AppMetrics
