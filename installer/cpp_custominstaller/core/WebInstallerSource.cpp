#include "installer/cpp_custominstaller/core/WebInstallerSource.h"

#include "componentget/ComponentsStorage.h"
#include "componentget/Protocol.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/network/RequestResponse.h"
#include "installer/cpp_custominstaller/core/CInstaller.h"

#include <climits>
#include <cwctype>
#include <map>
#include <sstream>

namespace CustomInstaller::Core {

namespace {

using Cxx::Network::Downloader::EDownloadStatus;

constexpr float ProgressShare = 50.0f;
constexpr int FailureKind = 2;
constexpr int WarningKind = 1;

std::wstring MachineGuid()
{
    std::wstring guid;
    const auto view = Cxx::Core::Utils::Is64BitWindows() ? Cxx::Core::Utils::RegistryView64
                                                         : Cxx::Core::Utils::RegistryViewDefault;
    if (!Cxx::Core::Utils::ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography",
                                              L"MachineGuid", guid, view)) {
        guid.clear();
    }
    return guid;
}

std::wstring Architecture()
{
    return Cxx::Core::Utils::Is64BitWindows() ? L"x64" : L"x86";
}

} // namespace

CWebInstallerSource::CWebInstallerSource(const CommandLine::CInstallerOptions& options, std::wstring serviceUrl,
                                         std::shared_ptr<IInstallAnalytics> analytics, Utils::Sleeper pause)
    : m_self(this, [](TObserver*) {}),
      m_options(options),
      m_serviceUrl(std::move(serviceUrl)),
      m_analytics(std::move(analytics)),
      m_pause(std::move(pause))
{
}

CWebInstallerSource::~CWebInstallerSource()
{
    m_worker.Interrupt();
    Join();
    // The downloader goes before the self reference it observes through.
    m_downloader.reset();
}

bool CWebInstallerSource::Start(std::weak_ptr<IInstallerSourceCallback> callback,
                                std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback)
{
    m_worker.Interrupt();
    Join();
    {
        std::lock_guard guard(m_lock);
        m_sourceCallback = std::move(callback);
        m_progressCallback = progressCallback;
        m_shownProgress = 0.0f;
    }
    m_worker.Start([this] { Run(); });
    return true;
}

bool CWebInstallerSource::Cancel()
{
    return false;
}

bool CWebInstallerSource::Join()
{
    const bool ended = m_worker.Wait(-1);
    if (m_downloader) {
        return m_downloader->Wait();
    }
    return ended;
}

void CWebInstallerSource::Run()
{
    // A stop asked for by Start or the destructor passes through as
    // CThreadInterrupted, unreported: the owner no longer waits for an outcome.
    bool started = false;
    try {
        started = DownloadInstaller();
    } catch (const std::exception&) {
        // Reported below like any run that produced no installer.
        started = false;
    }
    if (started) {
        return;
    }
    std::shared_ptr<IInstallerSourceCallback> manager;
    {
        std::lock_guard guard(m_lock);
        manager = m_sourceCallback.lock();
    }
    if (manager) {
        manager->OnSourceFailed();
    }
}

bool CWebInstallerSource::DownloadInstaller()
{
    ComponentGet::ComponentInfo component;
    const bool found = QueryComponent(component);
    m_downloader = found ? ComponentGet::CreateVerifyingDownloader(component, m_pause) : nullptr;
    if (!m_downloader) {
        return false;
    }
    m_downloader->AddObserver(std::weak_ptr<TObserver>(m_self));

    std::wstring path;
    if (!Cxx::Core::Utils::CreateTempFileName(std::wstring(), path) || path.empty()) {
        return false;
    }
    const auto buffer = std::make_shared<std::stringstream>();
    m_installer = std::make_shared<CInstaller>(path, buffer);
    // Before the transfer starts, so that its first progress cannot be overwritten.
    ShowProgress(0.0f);
    if (!m_downloader->DownloadToStream(buffer)) {
        m_installer.reset();
        return false;
    }
    return true;
}

bool CWebInstallerSource::QueryComponent(ComponentGet::ComponentInfo& component)
{
    const auto transport = std::make_shared<Cxx::Network::RequestResponse::CHttpRequestResponse>(m_serviceUrl, false);
    const auto storage = ComponentGet::CreateComponentsStorage(
        ApplicationInfo(m_options), std::make_shared<ComponentGet::Protocol::CProtocol>(), transport, MachineInfo());

    const auto ask = [&](const std::wstring& version, int& result) {
        std::map<std::wstring, ComponentGet::ComponentInfo> components;
        result = storage->GetComponents({ComponentGet::ComponentRequest{ComponentId, Architecture(), version}},
                                        components);
        const auto found = components.find(ComponentId);
        if (found == components.end()) {
            return false;
        }
        component = found->second;
        return true;
    };

    for (int attempt = 0; attempt < QueryAttempts; ++attempt) {
        int result = 0;
        if (ask(WantedVersion, result)) {
            return true;
        }
        if (result != ComponentGet::CR_TransportFailed && result != ComponentGet::CR_EmptyAnswer) {
            break;
        }
        if (!m_pause(PauseAfterFailedQuery)) {
            throw Cxx::Core::Utils::CThreadInterrupted();
        }
    }

    int result = 0;
    if (ask(std::wstring(), result)) {
        if (component.version != WantedVersion) {
            SendException("ID4_", 0, WarningKind);
        }
        return true;
    }
    SendException("ID3_", 0, FailureKind);
    return false;
}

void CWebInstallerSource::OnProgress(double percent)
{
    ShowProgress(static_cast<float>(percent * ProgressShare / 100.0));
}

void CWebInstallerSource::OnStatus(EDownloadStatus status)
{
    std::shared_ptr<IInstallerSourceCallback> manager;
    {
        std::lock_guard guard(m_lock);
        manager = m_sourceCallback.lock();
    }
    if (!manager) {
        return;
    }
    ShowProgress(ProgressShare);
    if (status == EDownloadStatus::Success) {
        // A file that could not be written is caught when the launcher prepares it.
        m_installer->Write();
        manager->OnSourceReady(m_installer);
        return;
    }
    m_installer.reset();
    manager->OnSourceFailed();
    SendException("ID1_", static_cast<int>(status), FailureKind);
}

void CWebInstallerSource::ShowProgress(float value)
{
    std::shared_ptr<JS::IInstallProgressJSCallback> page;
    {
        std::lock_guard guard(m_lock);
        if (value < m_shownProgress) {
            return;
        }
        m_shownProgress = value;
        page = m_progressCallback.lock();
    }
    if (page) {
        page->OnProgress(value);
    }
}

void CWebInstallerSource::SendException(const char* id, int code, int kind)
{
    if (m_analytics) {
        m_analytics->SendException(std::string(), id, code, kind);
    }
}

ComponentGet::OsInfo CWebInstallerSource::MachineInfo()
{
    ComponentGet::OsInfo os;
    os.arch = Architecture();
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    DWORD revision = 0;
    if (Cxx::Core::Utils::GetKernel32Version(major, minor, build, revision)) {
        os.version = std::to_wstring(major) + L"." + std::to_wstring(minor);
        os.build = static_cast<int>(build);
    }
    return os;
}

ComponentGet::ApplicationInfo CWebInstallerSource::ApplicationInfo(const CommandLine::CInstallerOptions& options)
{
    ComponentGet::ApplicationInfo application;
    application.code = ApplicationCode;
    application.language = options.GetLanguage();
    application.version = options.GetVersion();
    application.buildId = ParseBuildId(options.GetBuildId());
    application.uid = MachineGuid();
    application.puid = application.uid;
    return application;
}

int CWebInstallerSource::ParseBuildId(const std::wstring& text)
{
    std::size_t position = 0;
    while (position < text.size() && std::iswspace(text[position])) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == L'+' || text[position] == L'-')) {
        negative = text[position] == L'-';
        ++position;
    }
    long long value = 0;
    for (; position < text.size() && text[position] >= L'0' && text[position] <= L'9'; ++position) {
        // Stops growing at the int range instead of overflowing.
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[position] - L'0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

} // namespace CustomInstaller::Core
