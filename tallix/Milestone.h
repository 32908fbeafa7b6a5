#pragma once

#include "appmetrics/AppMetrics.h"

#include <optional>
#include <string>

namespace Tallix {

// What one run reports: the analytics settings and the one event, with the
// session hits around it.
struct CMilestone {
    AppMetrics::CGoogleAnalyticsSettings settings;
    AppMetrics::CEventData event;
    bool startSession = false;
    bool endSession = false;
};

// Reads the utility's options. Empty when one of the six required values is
// missing or empty, the client id is not 32 or 40 hexadecimal digits, or no
// event option is given.
std::optional<CMilestone> ParseInstallerMilestone(const std::wstring& commandLine);

// Queues the milestone's hits to the configured collector; they leave on the
// analytics worker and are waited for at process exit. False when nothing was queued.
bool SendInstallerMilestone(const std::wstring& commandLine);

} // namespace Tallix
