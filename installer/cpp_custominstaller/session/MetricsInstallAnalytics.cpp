#include "installer/cpp_custominstaller/session/MetricsInstallAnalytics.h"

#include "appmetrics/AppMetrics.h"

namespace CustomInstaller {

void CMetricsInstallAnalytics::SendEvent(const std::string& action, const std::string& screenName)
{
    AppMetrics::SendEvent(AppMetrics::CEventData(action, "Install", screenName, -1));
}

void CMetricsInstallAnalytics::SendException(const std::string& description, const std::string& id, int code,
                                             int kind)
{
    AppMetrics::SendException(AppMetrics::CExceptionData(description, id, code, kind));
}

} // namespace CustomInstaller
