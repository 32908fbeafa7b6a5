#pragma once

#include <string>

namespace CustomInstaller::Core::CommandLine {

// The setup program's options as read from its command line, with the
// defaults and clamps already applied by CSetupCommandLine.
struct CInstallationDetails {
    std::wstring gaTrackingUid;
    std::wstring buildId;
    std::wstring tracking;
    std::wstring oSource;
    std::wstring language;
    int delay = 0;
    int launchDelay = 0;
    bool noUi = false;
    bool silent = false;
    bool verySilent = false;
    bool disablePostPages = false;
    bool update = false;
};

} // namespace CustomInstaller::Core::CommandLine
