#pragma once

#include "installer/cpp_custominstaller/commandline/CInstallationDetails.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IGASessionHandler.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace CustomInstaller {

namespace Gui {
class CWebUiFiles;
}

// One analytics event of the start-up (narrow texts, as the analytics client takes them).
struct CStartupEvent {
    std::string action;
    std::string category;
    std::string screenName;
    // -1: the event has no value.
    std::int64_t value = -1;
};

struct CStartupException {
    std::string description;
    std::string errorId;
    int code = 0;
    int kind = 0;
};

// Everything the start-up reaches outside its own logic: instance checks,
// analytics, the registry, the network probe, the sleep, the install managers
// and the installer window.
class IStartupServices {
public:
    using CInstallationDetails = Core::CommandLine::CInstallationDetails;
    using CInstallerOptions = Core::CommandLine::CInstallerOptions;
    using ManagerPtr = std::shared_ptr<Core::IInstallManager>;
    using SessionHandlerPtr = std::shared_ptr<IGASessionHandler>;

    virtual ~IStartupServices() = default;

    // The "-extractTrackingUID" job: writes the product's stored client id into the file.
    virtual bool ExtractTrackingUid(const std::wstring& fileName) = 0;

    // Takes the machine-wide mutex of the product; false when another copy holds it.
    virtual bool IsFirstInstance() = 0;
    virtual void BringRunningCopyToFront() = 0;
    virtual bool IsSetupAlreadyRunning() = 0;
    virtual void ReleaseInstance() = 0;

    virtual SessionHandlerPtr CreateSessionHandler(const CInstallationDetails& details) = 0;
    virtual void EnableBrowserEmulation() = 0;
    virtual void DisableBrowserEmulation() = 0;
    virtual void SendEvent(const CStartupEvent& event) = 0;
    virtual void SendException(const CStartupException& exception) = 0;
    virtual void SetAutomaticSessionManagement(bool enabled) = 0;

    virtual void Sleep(std::chrono::seconds duration) = 0;
    virtual bool IsInternetConnected() = 0;

    // The manager of the web road, of the fallback after the page timed out,
    // and of the windowless road. Each may answer an empty pointer.
    virtual ManagerPtr CreateWebInstallManager(const SessionHandlerPtr& sessionHandler,
                                               const CInstallationDetails& details,
                                               const CInstallerOptions& options) = 0;
    virtual ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler,
                                                 const CInstallationDetails& details,
                                                 const CInstallerOptions& options) = 0;
    virtual ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler,
                                                  const CInstallationDetails& details,
                                                  const CInstallerOptions& options) = 0;

    // Writes the installer page into a folder of its own; null when it could not be written.
    virtual std::unique_ptr<Gui::CWebUiFiles> UnpackWebUi() = 0;
    // Runs the installer window modally over the unpacked page, whose folder is
    // the only one its browser trusts; answers the dialog result (32000: the
    // page never showed).
    virtual int RunInstallerWindow(const Gui::CWebUiFiles& page, const ManagerPtr& manager,
                                   const CInstallerOptions& options) = 0;
};

} // namespace CustomInstaller
