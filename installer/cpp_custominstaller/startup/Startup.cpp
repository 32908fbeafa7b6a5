#include "installer/cpp_custominstaller/startup/Startup.h"

#include "installer/cpp_custominstaller/commandline/COptionMap.h"
#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"
#include "installer/cpp_custominstaller/commandline/OptionNames.h"
#include "installer/cpp_custominstaller/startup/CBasicInstaller.h"
#include "installer/cpp_custominstaller/startup/CWebInstaller.h"
#include "installer/cpp_custominstaller/startup/ExitCodes.h"

namespace CustomInstaller {

namespace {

using Core::CommandLine::CInstallationDetails;
using Core::CommandLine::CInstallerOptions;
using Core::CommandLine::COptionMap;
using Core::CommandLine::CSetupCommandLine;
namespace OptionNames = Core::CommandLine::OptionNames;

const char* const InstallCategory = "Install";

// One step of the common end: whatever it throws, the later steps still run and the exit
// code already decided stands.
template <typename Step>
void RunFinishStep(const Step& step)
{
    try {
        step();
    } catch (...) {
        // Ignored: the run is over and nothing is left to tell of it.
    }
}

// The web road; falls back to the windowless front-end with the NSIS
// installer's own interface when the page never showed and started nothing.
int RunWebRoad(IStartupServices& services, const std::shared_ptr<IGASessionHandler>& sessionHandler,
               const CInstallationDetails& details, const CInstallerOptions& options,
               std::shared_ptr<Core::IInstallManager>& manager)
{
    manager = services.CreateWebInstallManager(sessionHandler, details, options);
    const CInstallationDetails webDetails = details;
    const CInstallerOptions webOptions(webDetails);
    CWebInstaller webInstaller(manager, webOptions, services);
    int code = webInstaller.Run();
    if (code == EC_PageTimeout) {
        if (!services.IsInternetConnected()) {
            code = EC_NoInternet;
        } else {
            std::shared_ptr<Core::IInstallManager> fallback =
                services.CreateBasicInstallManager(sessionHandler, details, options);
            code = CBasicInstaller(fallback).Run();
        }
    }
    return code;
}

int RunWindowlessRoad(IStartupServices& services, const std::shared_ptr<IGASessionHandler>& sessionHandler,
                      const CInstallationDetails& details, const CInstallerOptions& options,
                      std::shared_ptr<Core::IInstallManager>& manager)
{
    if (!services.IsInternetConnected()) {
        return EC_NoInternet;
    }
    if (details.verySilent) {
        services.SetAutomaticSessionManagement(options.IsNoGaUid());
    }
    manager = services.CreateSilentInstallManager(sessionHandler, details, options);
    return CBasicInstaller(manager).Run();
}

// From the command line's installation details to the released manager; answers the exit
// code. The session handler is handed out as soon as it exists.
int RunInstallation(const std::wstring& commandLine, IStartupServices& services,
                    std::shared_ptr<IGASessionHandler>& sessionHandler)
{
    const CSetupCommandLine setupCommandLine(commandLine);
    const CInstallationDetails details = setupCommandLine.GetInstallationDetails();
    const CInstallerOptions options(details);

    sessionHandler = services.CreateSessionHandler(details);
    services.EnableBrowserEmulation();
    services.SendEvent({"InstallerStartW", InstallCategory, "", details.silent || details.verySilent ? 0 : 1});
    if (details.delay > 0) {
        services.Sleep(std::chrono::seconds(details.delay));
    }

    // Its destructor waits for its source and launcher threads, also when a road throws.
    std::shared_ptr<Core::IInstallManager> manager;
    const bool windowless = details.silent || details.verySilent || details.noUi;
    const int code = windowless ? RunWindowlessRoad(services, sessionHandler, details, options, manager)
                                : RunWebRoad(services, sessionHandler, details, options, manager);
    manager.reset();
    return code;
}

int RunChecksAndInstallation(const std::wstring& commandLine, IStartupServices& services)
{
    const COptionMap optionMap(commandLine);
    const bool skipChecks = optionMap.Find(OptionNames::CancelOneInstanceCheck);

    std::wstring trackingUidFile;
    if (optionMap.GetValue(OptionNames::ExtractTrackingUid, trackingUidFile)) {
        return services.ExtractTrackingUid(trackingUidFile) ? EC_Installed : EC_NoResult;
    }

    if (!skipChecks) {
        if (!services.IsFirstInstance()) {
            services.BringRunningCopyToFront();
            return EC_AlreadyRunning;
        }
        if (services.IsSetupAlreadyRunning()) {
            return EC_AlreadyRunning;
        }
    }

    std::shared_ptr<IGASessionHandler> sessionHandler;
    int code = EC_NoResult;
    try {
        code = RunInstallation(commandLine, services, sessionHandler);
    } catch (...) {
        // A run that threw did not finish; it still ends the way every run does.
        code = EC_NoResult;
    }
    FinishInstallerRun(sessionHandler, services);
    return code;
}

} // namespace

int RunSetup(const std::wstring& commandLine, IStartupServices& services)
{
    try {
        return RunChecksAndInstallation(commandLine, services);
    } catch (...) {
        // Thrown before the run got past the checks: no exception ends the process.
        return EC_NoResult;
    }
}

void FinishInstallerRun(const std::shared_ptr<IGASessionHandler>& sessionHandler, IStartupServices& services)
{
    RunFinishStep([&] { services.ReleaseInstance(); });
    RunFinishStep([&] { services.DisableBrowserEmulation(); });
    RunFinishStep([&] { services.SendEvent({"InstallerFinishW", InstallCategory, "", -1}); });
    if (sessionHandler) {
        RunFinishStep([&] { sessionHandler->Shutdown(); });
    }
}

} // namespace CustomInstaller
