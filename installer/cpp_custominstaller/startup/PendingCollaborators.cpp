// Temporary stand-ins for the engine parts that are not in the program yet.
// None of them does anything observable: no client-id job, no analytics, no
// registry value, no window; the manager factories make no manager, so the
// windowless road ends with 99 (17 without internet) and the web road with
// 99. This file goes when the engine lands.
#include "installer/cpp_custominstaller/startup/EngineCollaborators.h"

namespace CustomInstaller::EngineCollaborators {

bool ExtractTrackingUid(const std::wstring&)
{
    return false;
}

std::wstring ResolveTrackingUid()
{
    return {};
}

SessionHandlerPtr CreateSessionHandler(const CInstallationDetails&)
{
    return nullptr;
}

void EnableBrowserEmulation() {}

void DisableBrowserEmulation() {}

void SendEvent(const CStartupEvent&) {}

void SendException(const CStartupException&) {}

void SetAutomaticSessionManagement(bool) {}

ManagerPtr CreateWebInstallManager(const SessionHandlerPtr&, const CInstallationDetails&, const CInstallerOptions&)
{
    return nullptr;
}

ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr&, const CInstallationDetails&, const CInstallerOptions&)
{
    return nullptr;
}

ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr&, const CInstallationDetails&, const CInstallerOptions&)
{
    return nullptr;
}

int RunInstallerWindow(const ManagerPtr&, const CInstallerOptions&)
{
    return 0;
}

} // namespace CustomInstaller::EngineCollaborators
