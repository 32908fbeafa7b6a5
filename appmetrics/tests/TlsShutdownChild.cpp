// Ends the process-wide analytics client the way the programs do while its
// HTTPS requests hang: sends one event to the loopback server on the port given
// (argument 1), waits while the file named by argument 2 exists, then shuts the
// client down and returns. Exit code 0 when it got that far.
#include "appmetrics/AppMetrics.h"

#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        return 2;
    }
    AppMetrics::CGoogleAnalyticsSettings settings("UA-12345-6", "0123456789abcdef0123456789ABCDEF", "7.0.0.1125",
                                                  "Vellix PDF Pro", "en-US", "QXPDF");
    settings.endpoint.host = L"localhost";
    settings.endpoint.port = static_cast<std::uint16_t>(std::wcstoul(argv[1], nullptr, 10));
    settings.endpoint.https = true;
    AppMetrics::CMetricsOptions options;
    options.shutdownWait = std::chrono::milliseconds(500);
    options.finalHitLimit = std::chrono::milliseconds(500);
    AppMetrics::InitializeMetrics(settings, options);
    AppMetrics::SetEnabled(true);
    if (!AppMetrics::SendEvent(AppMetrics::CEventData("InstallerStart", "Install", "", 1))) {
        return 3;
    }
    for (int i = 0; i < 3000 && ::GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; ++i) {
        ::Sleep(10);
    }
    AppMetrics::ShutdownMetrics();
    return 0;
}
