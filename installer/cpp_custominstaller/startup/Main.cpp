#include "appmetrics/AppMetrics.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"
#include "installer/cpp_custominstaller/startup/CStartupServices.h"
#include "installer/cpp_custominstaller/startup/Startup.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    CustomInstaller::Core::CommandLine::CInstallerOptions::SetTrackingUidResolver(
        &CustomInstaller::ResolveTrackingUid);
    CustomInstaller::CStartupServices services;
    const int code = CustomInstaller::RunSetup(commandLine ? commandLine : L"", services);
    // The exit handlers would block the analytics worker: end it here, after the run drained its queue.
    AppMetrics::ShutdownMetrics();
    return code;
}
