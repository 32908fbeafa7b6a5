#include "installer/cpp_custominstaller/startup/EngineCollaborators.h"

#include "appmetrics/AppMetrics.h"
#include "kv_config.h"
#include "installer/cpp_custominstaller/core/InstallManager.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"
#include "installer/cpp_custominstaller/core/WebInstallerSource.h"
#include "installer/cpp_custominstaller/session/BrowserEmulationValue.h"
#include "installer/cpp_custominstaller/session/GASessionHandler.h"
#include "installer/cpp_custominstaller/session/MetricsInstallAnalytics.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"

namespace CustomInstaller::EngineCollaborators {

namespace {

using Core::CommandLine::CNSISCommandLine;
using Core::CommandLine::CNSISOriginalCommandLine;

// The NSIS installer's own interface (or its silence) keeps "/DELAY".
constexpr int KeepDelay = 0;

ManagerPtr CreateInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallerOptions& options,
                                std::shared_ptr<Core::CommandLine::INSISCommandLine> commandLine)
{
    const auto analytics = std::make_shared<CMetricsInstallAnalytics>();
    return std::make_shared<Core::CInstallManager>(
        std::make_unique<Core::CWebInstallerSource>(options, KV_COMPONENT_SERVICE_URL, analytics),
        std::make_unique<Core::CInstallerLauncher>(std::move(commandLine), analytics), sessionHandler, analytics);
}

} // namespace

bool ExtractTrackingUid(const std::wstring& fileName)
{
    return CustomInstaller::ExtractTrackingUid(fileName);
}

std::wstring ResolveTrackingUid()
{
    return CustomInstaller::ResolveTrackingUid();
}

SessionHandlerPtr CreateSessionHandler(const CInstallationDetails& details)
{
    return std::make_shared<CGASessionHandler>(details);
}

void EnableBrowserEmulation()
{
    CustomInstaller::EnableBrowserEmulation();
}

void DisableBrowserEmulation()
{
    CustomInstaller::DisableBrowserEmulation();
}

void SendEvent(const CStartupEvent& event)
{
    AppMetrics::SendEvent(AppMetrics::CEventData(event.action, event.category, event.screenName, event.value));
}

void SendException(const CStartupException& exception)
{
    AppMetrics::SendException(
        AppMetrics::CExceptionData(exception.description, exception.errorId, exception.code, exception.kind));
}

void SetAutomaticSessionManagement(bool enabled)
{
    AppMetrics::SetAutomaticSessionManagement(enabled);
}

ManagerPtr CreateWebInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                   const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options,
                                std::make_shared<CNSISCommandLine>(details, options, &AppMetrics::IsSessionStarted));
}

ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                     const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options, std::make_shared<CNSISOriginalCommandLine>(
                                                    details, options, KeepDelay, &AppMetrics::IsSessionStarted));
}

ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                      const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options, std::make_shared<CNSISOriginalCommandLine>(
                                                    details, options, KeepDelay, &AppMetrics::IsSessionStarted));
}

int RunInstallerWindow(const ManagerPtr&, const CInstallerOptions&)
{
    return 0;
}

} // namespace CustomInstaller::EngineCollaborators
