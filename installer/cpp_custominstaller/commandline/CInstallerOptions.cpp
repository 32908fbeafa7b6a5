#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"

#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"

#include <algorithm>

namespace CustomInstaller::Core::CommandLine {

namespace {

const wchar_t* const ProductVersion = L"7.0.0.1125";

std::mutex& ResolverLock()
{
    static std::mutex lock;
    return lock;
}

CInstallerOptions::TrackingUidResolver& Resolver()
{
    static CInstallerOptions::TrackingUidResolver resolver;
    return resolver;
}

} // namespace

CInstallerOptions::CInstallerOptions(const CInstallationDetails& details)
    : m_buildId(details.buildId.empty() ? L"0" : details.buildId),
      m_launchDelay(std::max(details.launchDelay, 0)),
      m_tracking(details.tracking),
      m_oSource(details.oSource),
      m_language(details.language.empty() ? GetDefaultInstallerLanguage() : details.language),
      m_trackingUid(details.gaTrackingUid),
      m_noGaUid(details.gaTrackingUid.empty())
{
}

CInstallerOptions::CInstallerOptions(const CInstallerOptions& other)
    : m_buildId(other.m_buildId),
      m_launchDelay(other.m_launchDelay),
      m_tracking(other.m_tracking),
      m_oSource(other.m_oSource),
      m_language(other.m_language),
      m_trackingUid(other.GetTrackingUid()),
      m_noGaUid(other.m_noGaUid)
{
}

CInstallerOptions& CInstallerOptions::operator=(const CInstallerOptions& other)
{
    if (this != &other) {
        std::wstring trackingUid = other.GetTrackingUid();
        m_buildId = other.m_buildId;
        m_launchDelay = other.m_launchDelay;
        m_tracking = other.m_tracking;
        m_oSource = other.m_oSource;
        m_language = other.m_language;
        m_noGaUid = other.m_noGaUid;
        std::lock_guard lock(m_lazyLock);
        m_version.clear();
        m_trackingUid = std::move(trackingUid);
    }
    return *this;
}

std::wstring CInstallerOptions::GetVersion() const
{
    std::lock_guard lock(m_lazyLock);
    if (m_version.empty()) {
        m_version = ProductVersion;
    }
    return m_version;
}

std::wstring CInstallerOptions::GetTrackingUid() const
{
    std::lock_guard lock(m_lazyLock);
    if (m_trackingUid.empty()) {
        TrackingUidResolver resolver;
        {
            std::lock_guard resolverLock(ResolverLock());
            resolver = Resolver();
        }
        if (resolver) {
            m_trackingUid = resolver();
        }
    }
    return m_trackingUid;
}

void CInstallerOptions::SetTrackingUidResolver(TrackingUidResolver resolver)
{
    std::lock_guard lock(ResolverLock());
    Resolver() = std::move(resolver);
}

} // namespace CustomInstaller::Core::CommandLine
