#pragma once

#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/startup/IInstallerFrontEnd.h"

#include <memory>

namespace CustomInstaller {

// Runs the install manager without any window and waits for it.
class CBasicInstaller : public IInstaller {
public:
    explicit CBasicInstaller(const std::shared_ptr<Core::IInstallManager>& manager);
    int Run() override;

private:
    std::weak_ptr<Core::IInstallManager> m_manager;
};

} // namespace CustomInstaller
