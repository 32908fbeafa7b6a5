#include "installer/cpp_custominstaller/startup/ExitCodes.h"

#include "installer/cpp_custominstaller/core/IInstallManager.h"

namespace CustomInstaller {

int MapInstallStateToExitCode(int state)
{
    using namespace Core;
    switch (state) {
    case IS_Succeeded:
        return EC_Installed;
    case IS_SourceFailed:
        return EC_SourceFailed;
    case IS_LaunchFailed:
        return EC_LaunchFailed;
    case IS_SourceCancelled:
    case IS_InstallerCancelled:
        return EC_Cancelled;
    case IS_InstallerNotStarted:
        return EC_InstallerNotStarted;
    case IS_InstallerExitCode5:
        return EC_AlreadyRunning;
    default:
        return EC_NoResult;
    }
}

} // namespace CustomInstaller
