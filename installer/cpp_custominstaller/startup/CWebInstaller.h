#pragma once

#include "browsercontrol/WebDialogResults.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/startup/IInstallerFrontEnd.h"
#include "installer/cpp_custominstaller/startup/IStartupServices.h"

#include <memory>

namespace CustomInstaller {

// Shows the installer page, which starts the manager itself. An installation
// that the page started is waited for, also when the page closes before it ends.
class CWebInstaller : public IInstaller {
public:
    // The dialog result of a page that never showed itself.
    static constexpr int PageTimeoutResult = BrowserControl::WebDialogPageTimeout;

    CWebInstaller(const std::shared_ptr<Core::IInstallManager>& manager,
                  const Core::CommandLine::CInstallerOptions& options, IStartupServices& services);
    // EC_PageTimeout when the page did not show in time, or could not be
    // written, and never started the manager.
    int Run() override;

private:
    std::weak_ptr<Core::IInstallManager> m_manager;
    Core::CommandLine::CInstallerOptions m_options;
    IStartupServices& m_services;
};

} // namespace CustomInstaller
