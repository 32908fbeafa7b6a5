#pragma once

#include "appmetrics/IMetrics.h"
#include "appmetrics/MetricsData.h"
#include "appmetrics/MetricsOptions.h"

#include <memory>
#include <string>

// The process-wide analytics client. InitializeMetrics makes the one metrics
// object; every other function forwards to it and does nothing (false, or an
// empty pointer) while there is none. Its destruction ends the session and
// waits a bounded time for the queue; a program does that with ShutdownMetrics
// at the end of its entry function (else the static destructors do it).
namespace AppMetrics {

// 32 hexadecimal digits (dashes ignored) become the 8-4-4-4-12 form; 40 digits
// stay as they are. False for anything else.
bool NormalizeClientId(const std::string& input, std::string& output);

// Empty when the client id does not normalise or tid, cid, an or av is empty.
std::shared_ptr<IMetrics> CreateMetrics(const CGoogleAnalyticsSettings& settings,
                                        const CMetricsOptions& options = CMetricsOptions());

// Only the first successful call takes effect.
void InitializeMetrics(const CGoogleAnalyticsSettings& settings,
                       const CMetricsOptions& options = CMetricsOptions());

void SetAutomaticSessionManagement(bool automatic);
std::unique_ptr<ITiming> CreateTiming(const CTimingData& data);
void SetEnabled(bool enabled);
bool WaitForPendingHits(int seconds);
bool IsSessionStarted();
bool SendEvent(const CEventData& data);
bool SendException(const CExceptionData& data);
bool SendScreenView(const CScreenViewData& data);
bool StartSession();
bool EndSession();

// Destroys the process-wide object. Call it once the program's other threads
// are done with the facade, before returning from the entry function: exit
// handlers block worker threads that register statics of their own, so the
// queue cannot drain from inside them.
void ShutdownMetrics();

// With set, stores value and returns it; otherwise returns the stored flag.
bool UpdateSessionStartedFlag(bool set, bool value);

} // namespace AppMetrics
