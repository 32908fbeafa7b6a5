#pragma once

#include "installer/cpp_custominstaller/commandline/CInstallationDetails.h"

#include <functional>
#include <mutex>
#include <string>

namespace CustomInstaller::Core::CommandLine {

// The options record that the engine, the window and the NSIS command line
// carry. The version and the analytics client id are filled on first use.
class CInstallerOptions {
public:
    // Produces the client id when none was given on the command line.
    using TrackingUidResolver = std::function<std::wstring()>;

    explicit CInstallerOptions(const CInstallationDetails& details);
    // The copy starts without a version and takes the source's client id,
    // which makes the source compute and keep it first.
    CInstallerOptions(const CInstallerOptions& other);
    CInstallerOptions& operator=(const CInstallerOptions& other);

    const std::wstring& GetBuildId() const { return m_buildId; }
    int GetLaunchDelay() const { return m_launchDelay; }
    std::wstring GetTracking() const { return m_tracking; }
    std::wstring GetOSource() const { return m_oSource; }
    std::wstring GetLanguage() const { return m_language; }
    // True when no client id was given on the command line.
    bool IsNoGaUid() const { return m_noGaUid; }

    std::wstring GetVersion() const;
    // Asks the process-wide resolver while the id is empty; without a
    // resolver the id stays empty.
    std::wstring GetTrackingUid() const;

    // Installed once by the start-up, before any options record asks.
    static void SetTrackingUidResolver(TrackingUidResolver resolver);

private:
    std::wstring m_buildId;
    int m_launchDelay = 0;
    std::wstring m_tracking;
    std::wstring m_oSource;
    std::wstring m_language;
    mutable std::wstring m_version;
    mutable std::wstring m_trackingUid;
    bool m_noGaUid = true;
    // Guards the two fields filled on first use.
    mutable std::mutex m_lazyLock;
};

} // namespace CustomInstaller::Core::CommandLine
