#pragma once

namespace CustomInstaller {

// Exit codes of the setup program.
enum EExitCode : int {
    EC_Installed = 0,
    EC_AlreadyRunning = 11,
    EC_SourceFailed = 12,
    EC_Cancelled = 13,
    EC_LaunchFailed = 14,
    EC_InstallerNotStarted = 15,
    // Internal: the page did not show in time; the fallback replaces it.
    EC_PageTimeout = 16,
    EC_NoInternet = 17,
    EC_NoResult = 99,
};

// The exit code of an install manager's state (an EInstallState value).
int MapInstallStateToExitCode(int state);

} // namespace CustomInstaller
