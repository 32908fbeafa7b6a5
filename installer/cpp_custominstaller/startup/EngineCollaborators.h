#pragma once

#include "installer/cpp_custominstaller/startup/IStartupServices.h"

#include <memory>
#include <string>

// The parts of the setup program that the start-up reaches but does not
// build: the client-id job and lookup, the analytics session and client, the
// browser emulation value, the install managers and the installer window.
namespace CustomInstaller::EngineCollaborators {

using CInstallationDetails = IStartupServices::CInstallationDetails;
using CInstallerOptions = IStartupServices::CInstallerOptions;
using ManagerPtr = IStartupServices::ManagerPtr;
using SessionHandlerPtr = IStartupServices::SessionHandlerPtr;

bool ExtractTrackingUid(const std::wstring& fileName);
// The client id of options that were given none.
std::wstring ResolveTrackingUid();

SessionHandlerPtr CreateSessionHandler(const CInstallationDetails& details);
void EnableBrowserEmulation();
void DisableBrowserEmulation();
void SendEvent(const CStartupEvent& event);
void SendException(const CStartupException& exception);
void SetAutomaticSessionManagement(bool enabled);

ManagerPtr CreateWebInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                   const CInstallerOptions& options);
ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                     const CInstallerOptions& options);
ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                      const CInstallerOptions& options);

int RunInstallerWindow(const ManagerPtr& manager, const CInstallerOptions& options);

} // namespace CustomInstaller::EngineCollaborators
