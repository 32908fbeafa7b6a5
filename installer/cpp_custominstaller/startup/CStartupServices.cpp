#include "installer/cpp_custominstaller/startup/CStartupServices.h"

#include "cxx/core/OneInstance.h"
#include "cxx/core/SystemUtils.h"
#include "installer/cpp_custominstaller/startup/EngineCollaborators.h"
#include "installer/cpp_custominstaller/startup/InstanceChecks.h"

#include <thread>

namespace CustomInstaller {

namespace Engine = EngineCollaborators;

bool CStartupServices::ExtractTrackingUid(const std::wstring& fileName)
{
    return Engine::ExtractTrackingUid(fileName);
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
    return Engine::CreateSessionHandler(details);
}

void CStartupServices::EnableBrowserEmulation()
{
    Engine::EnableBrowserEmulation();
}

void CStartupServices::DisableBrowserEmulation()
{
    Engine::DisableBrowserEmulation();
}

void CStartupServices::SendEvent(const CStartupEvent& event)
{
    Engine::SendEvent(event);
}

void CStartupServices::SendException(const CStartupException& exception)
{
    Engine::SendException(exception);
}

void CStartupServices::SetAutomaticSessionManagement(bool enabled)
{
    Engine::SetAutomaticSessionManagement(enabled);
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
    return Engine::CreateWebInstallManager(sessionHandler, details, options);
}

IStartupServices::ManagerPtr CStartupServices::CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler,
                                                                         const CInstallationDetails& details,
                                                                         const CInstallerOptions& options)
{
    return Engine::CreateBasicInstallManager(sessionHandler, details, options);
}

IStartupServices::ManagerPtr CStartupServices::CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler,
                                                                          const CInstallationDetails& details,
                                                                          const CInstallerOptions& options)
{
    return Engine::CreateSilentInstallManager(sessionHandler, details, options);
}

int CStartupServices::RunInstallerWindow(const ManagerPtr& manager, const CInstallerOptions& options)
{
    return Engine::RunInstallerWindow(manager, options);
}

} // namespace CustomInstaller
