#include "installer/cpp_custominstaller/session/GASessionHandler.h"

#include "appmetrics/AppMetrics.h"
#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"
#include "kv_config.h"

namespace CustomInstaller {

namespace {

constexpr int ShutdownWaitSeconds = 10;

} // namespace

CGASessionHandler::CGASessionHandler(const Core::CommandLine::CInstallationDetails& details)
    : m_details(details), m_options(m_details)
{
    AppMetrics::InitializeMetrics(BuildSettings(m_options));
    AppMetrics::SetAutomaticSessionManagement(m_options.IsNoGaUid());
    AppMetrics::SetEnabled(true);
    if (m_options.IsNoGaUid()) {
        AppMetrics::StartSession();
    }
}

void CGASessionHandler::Shutdown()
{
    AppMetrics::WaitForPendingHits(ShutdownWaitSeconds);
}

AppMetrics::CGoogleAnalyticsSettings CGASessionHandler::BuildSettings(
    const Core::CommandLine::CInstallerOptions& options)
{
    using Cxx::Core::Utils::WideToUtf8String;
    const std::string version = WideToUtf8String(options.GetVersion());
    const std::string language = WideToUtf8String(options.GetLanguage());
    const std::string clientId = WideToUtf8String(options.GetTrackingUid());
    return AppMetrics::CGoogleAnalyticsSettings(KV_ANALYTICS_PROPERTY_ID, clientId, version, ApplicationName,
                                                language, OwnProductCode);
}

} // namespace CustomInstaller
