#include "installer/cpp_custominstaller/startup/CStartupServices.h"

#include "appmetrics/AppMetrics.h"
#include "cxx/core/OneInstance.h"
#include "cxx/core/SystemUtils.h"
#include "installer/cpp_custominstaller/core/InstallManager.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"
#include "installer/cpp_custominstaller/core/WebInstallerSource.h"
#include "installer/cpp_custominstaller/gui/InstallerWindow.h"
#include "installer/cpp_custominstaller/gui/WebUiFiles.h"
#include "installer/cpp_custominstaller/session/BrowserEmulationValue.h"
#include "installer/cpp_custominstaller/session/GASessionHandler.h"
#include "installer/cpp_custominstaller/session/MetricsInstallAnalytics.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"
#include "installer/cpp_custominstaller/startup/CWebInstaller.h"
#include "installer/cpp_custominstaller/startup/InstanceChecks.h"
#include "kv_config.h"

#include <thread>

namespace CustomInstaller {

namespace {

using Core::CommandLine::CNSISCommandLine;
using Core::CommandLine::CNSISOriginalCommandLine;

// The NSIS installer's own interface (or its silence) keeps "/DELAY".
constexpr int KeepDelay = 0;

IStartupServices::ManagerPtr CreateInstallManager(const IStartupServices::SessionHandlerPtr& sessionHandler,
                                                  const IStartupServices::CInstallerOptions& options,
                                                  std::shared_ptr<Core::CommandLine::INSISCommandLine> commandLine)
{
    const auto analytics = std::make_shared<CMetricsInstallAnalytics>();
    return std::make_shared<Core::CInstallManager>(
        std::make_unique<Core::CWebInstallerSource>(options, KV_COMPONENT_SERVICE_URL, analytics),
        std::make_unique<Core::CInstallerLauncher>(std::move(commandLine), analytics), sessionHandler, analytics);
}

} // namespace

CStartupServices::CStartupServices() : m_apartment(COINIT_APARTMENTTHREADED) {}

bool CStartupServices::ExtractTrackingUid(const std::wstring& fileName)
{
    return CustomInstaller::ExtractTrackingUid(fileName);
}

bool CStartupServices::IsFirstInstance()
{
    return CustomInstaller::IsFirstInstance();
}

void CStartupServices::BringRunningCopyToFront()
{
    CustomInstaller::BringRunningCopyToFront();
}

bool CStartupServices::IsSetupAlreadyRunning()
{
    return CustomInstaller::IsSetupAlreadyRunning();
}

void CStartupServices::ReleaseInstance()
{
    Cxx::Core::COneInstance::Release();
}

IStartupServices::SessionHandlerPtr CStartupServices::CreateSessionHandler(const CInstallationDetails& details)
{
    return std::make_shared<CGASessionHandler>(details);
}

void CStartupServices::EnableBrowserEmulation()
{
    CustomInstaller::EnableBrowserEmulation();
}

void CStartupServices::DisableBrowserEmulation()
{
    CustomInstaller::DisableBrowserEmulation();
}

void CStartupServices::SendEvent(const CStartupEvent& event)
{
    AppMetrics::SendEvent(AppMetrics::CEventData(event.action, event.category, event.screenName, event.value));
}

void CStartupServices::SendException(const CStartupException& exception)
{
    AppMetrics::SendException(
        AppMetrics::CExceptionData(exception.description, exception.errorId, exception.code, exception.kind));
}

void CStartupServices::SetAutomaticSessionManagement(bool enabled)
{
    AppMetrics::SetAutomaticSessionManagement(enabled);
}

void CStartupServices::Sleep(std::chrono::seconds duration)
{
    std::this_thread::sleep_for(duration);
}

bool CStartupServices::IsInternetConnected()
{
    return Cxx::Core::Utils::IsInternetConnected();
}

IStartupServices::ManagerPtr CStartupServices::CreateWebInstallManager(const SessionHandlerPtr& sessionHandler,
                                                                       const CInstallationDetails& details,
                                                                       const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options,
                                std::make_shared<CNSISCommandLine>(details, options, &AppMetrics::IsSessionStarted));
}

IStartupServices::ManagerPtr CStartupServices::CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler,
                                                                         const CInstallationDetails& details,
                                                                         const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options, std::make_shared<CNSISOriginalCommandLine>(
                                                             details, options, KeepDelay, &AppMetrics::IsSessionStarted));
}

IStartupServices::ManagerPtr CStartupServices::CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler,
                                                                          const CInstallationDetails& details,
                                                                          const CInstallerOptions& options)
{
    return CreateInstallManager(sessionHandler, options, std::make_shared<CNSISOriginalCommandLine>(
                                                             details, options, KeepDelay, &AppMetrics::IsSessionStarted));
}

std::unique_ptr<Gui::CWebUiFiles> CStartupServices::UnpackWebUi()
{
    return Gui::UnpackWebUi();
}

int CStartupServices::RunInstallerWindow(const Gui::CWebUiFiles& page, const ManagerPtr& manager,
                                         const CInstallerOptions& options)
{
    const int result = [&] {
        Gui::CInstallerWindow window(page.IndexPath(), manager, options);
        return static_cast<int>(window.DoModal(::GetActiveWindow(), 0));
    }();
    // A dialog that could not even be made is a page that never showed.
    return result == -1 ? CWebInstaller::PageTimeoutResult : result;
}

} // namespace CustomInstaller
