#pragma once

#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/startup/IInstallerFrontEnd.h"
#include "installer/cpp_custominstaller/startup/IStartupServices.h"

#include <memory>

namespace CustomInstaller {

// Shows the installer page, which starts the manager itself. Returns as soon
// as the window has closed, without waiting for the manager.
class CWebInstaller : public IInstaller {
public:
    // The dialog result of a page that never showed itself.
    static constexpr int PageTimeoutResult = 32000;

    CWebInstaller(const std::shared_ptr<Core::IInstallManager>& manager,
                  const Core::CommandLine::CInstallerOptions& options, IStartupServices& services);
    // EC_PageTimeout when the page did not show in time.
    int Run() override;

private:
    std::weak_ptr<Core::IInstallManager> m_manager;
    Core::CommandLine::CInstallerOptions m_options;
    IStartupServices& m_services;
};

} // namespace CustomInstaller
