#pragma once

#include "appmetrics/MetricsData.h"
#include "installer/cpp_custominstaller/commandline/CInstallationDetails.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IGASessionHandler.h"

namespace CustomInstaller {

// Opens the process's analytics session for one setup run.
class CGASessionHandler : public IGASessionHandler {
public:
    static constexpr const char* ApplicationName = "Vellix PDF Pro";

    explicit CGASessionHandler(const Core::CommandLine::CInstallationDetails& details);

    void OnInstallSucceeded() override {}
    void OnInstallFailed() override {}
    void OnInstallCancelled() override {}
    void Shutdown() override;

    // The settings the handler gives the analytics client for these options.
    static AppMetrics::CGoogleAnalyticsSettings BuildSettings(const Core::CommandLine::CInstallerOptions& options);

private:
    const Core::CommandLine::CInstallationDetails m_details;
    const Core::CommandLine::CInstallerOptions m_options;
};

} // namespace CustomInstaller
