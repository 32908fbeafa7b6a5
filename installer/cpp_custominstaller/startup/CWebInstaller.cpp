#include "installer/cpp_custominstaller/startup/CWebInstaller.h"

#include "installer/cpp_custominstaller/startup/ExitCodes.h"

namespace CustomInstaller {

CWebInstaller::CWebInstaller(const std::shared_ptr<Core::IInstallManager>& manager,
                             const Core::CommandLine::CInstallerOptions& options, IStartupServices& services)
    : m_manager(manager), m_options(options), m_services(services)
{
}

int CWebInstaller::Run()
{
    const std::shared_ptr<Core::IInstallManager> manager = m_manager.lock();
    if (!manager) {
        return EC_NoResult;
    }
    if (m_services.RunInstallerWindow(manager, m_options) == PageTimeoutResult) {
        m_services.SendException({"timeout", "IJ", 1, 2});
        return EC_PageTimeout;
    }
    return MapInstallStateToExitCode(manager->GetState());
}

} // namespace CustomInstaller
