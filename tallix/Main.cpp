#include "tallix/Milestone.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    const bool queued = Tallix::SendInstallerMilestone(commandLine ? commandLine : L"");
    // Waits a bounded time for the queued hits.
    AppMetrics::ShutdownMetrics();
    return queued ? 0 : 1;
}
