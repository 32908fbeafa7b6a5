#pragma once

#include "appmetrics/MetricsData.h"

#include <memory>
#include <string>

namespace AppMetrics {

class ITiming {
public:
    virtual ~ITiming() = default;
    // Each call sends the time elapsed so far; nothing once the metrics object is gone.
    virtual void SendElapsedSeconds() = 0;
    virtual void SendElapsed() = 0;
};

// Send operations check and copy their record, queue it and return at once:
// true when the hit was queued. They never throw and never wait on the network.
class IMetrics {
public:
    virtual ~IMetrics() = default;

    virtual bool SendEvent(const CEventData& data) = 0;
    virtual std::unique_ptr<ITiming> CreateTiming(const CTimingData& data) = 0;
    virtual bool SendTiming(const CTimingData& data) = 0;
    virtual bool SendApplicationStartType(EApplicationStartType type) = 0;
    virtual bool SendBuildId(const CBuildId& data) = 0;
    virtual bool SendCurrentLocale(const std::wstring& locale) = 0;
    virtual bool SendDaysSinceInstall(int days) = 0;
    // Kind 3 (a crash report) is sent on the calling thread and then waits for the queue.
    virtual bool SendException(const CExceptionData& data) = 0;
    virtual bool SendScreenView(const CScreenViewData& data) = 0;
    virtual bool StartSession() = 0;
    virtual bool EndSession() = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetAutomaticSessionManagement(bool automatic) = 0;
    virtual bool SetUserLanguage(const std::string& language) = 0;
    // True when the queue drained within the time.
    virtual bool WaitForPendingHits(int seconds) = 0;
};

} // namespace AppMetrics
