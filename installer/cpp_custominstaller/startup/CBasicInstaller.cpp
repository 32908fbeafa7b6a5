#include "installer/cpp_custominstaller/startup/CBasicInstaller.h"

#include "installer/cpp_custominstaller/startup/ExitCodes.h"

namespace CustomInstaller {

CBasicInstaller::CBasicInstaller(const std::shared_ptr<Core::IInstallManager>& manager) : m_manager(manager) {}

int CBasicInstaller::Run()
{
    const std::shared_ptr<Core::IInstallManager> manager = m_manager.lock();
    if (!manager) {
        return EC_NoResult;
    }
    manager->Start(nullptr);
    manager->Wait();
    return MapInstallStateToExitCode(manager->GetState());
}

} // namespace CustomInstaller
