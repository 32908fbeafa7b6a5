#pragma once

#include "componentget/ComponentGet.h"
#include "cxx/core/thread/OperationThread.h"
#include "cxx/network/downloader/Downloader.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IInstallAnalytics.h"
#include "installer/cpp_custominstaller/core/IInstallerCallbacks.h"
#include "installer/cpp_custominstaller/core/ProgressSender.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace CustomInstaller::Core {

// Asks the component service which installer to fetch, downloads it with its
// MD5 checked and hands the written file to the install manager. The download
// fills the first half (0 to 50) of the page's progress bar.
class CWebInstallerSource : public IInstallerSource,
                            public Cxx::Core::Event::IProgressObserver<Cxx::Network::Downloader::EDownloadStatus> {
public:
    static constexpr const wchar_t* ApplicationCode = L"QXPDF";
    static constexpr const wchar_t* ComponentId = L"QX_PDF";
    static constexpr const wchar_t* WantedVersion = L"7.0.0.1125";
    static constexpr int QueryAttempts = 3;
    static constexpr std::chrono::milliseconds PauseAfterFailedQuery{3000};

    // serviceUrl is the component service's address; pause waits between the
    // queries and before each re-send of the download, and answers false when
    // the run is asked to stop. The analytics may be null.
    CWebInstallerSource(const CommandLine::CInstallerOptions& options, std::wstring serviceUrl,
                        std::shared_ptr<IInstallAnalytics> analytics, Utils::Sleeper pause = Utils::SystemSleeper());
    // Stops the run and waits for it and for its download.
    ~CWebInstallerSource() override;
    CWebInstallerSource(const CWebInstallerSource&) = delete;
    CWebInstallerSource& operator=(const CWebInstallerSource&) = delete;

    // Waits for an earlier run, then starts a new one; always true.
    bool Start(std::weak_ptr<IInstallerSourceCallback> callback,
               std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback) override;
    // A download cannot be cancelled from here: false.
    bool Cancel() override;
    bool Join() override;

    void OnProgress(double percent) override;
    void OnStatus(Cxx::Network::Downloader::EDownloadStatus status) override;

    // The request's view of this machine and of the options.
    static ComponentGet::OsInfo MachineInfo();
    static ComponentGet::ApplicationInfo ApplicationInfo(const CommandLine::CInstallerOptions& options);
    // Leading blanks and a sign, then digits up to the first other character; 0 without digits.
    static int ParseBuildId(const std::wstring& text);

private:
    using TObserver = Cxx::Core::Event::IProgressObserver<Cxx::Network::Downloader::EDownloadStatus>;

    void Run();
    // False when no download could be started. Both throw CThreadInterrupted
    // when the run is asked to stop during a pause.
    bool DownloadInstaller();
    bool QueryComponent(ComponentGet::ComponentInfo& component);
    void ShowProgress(float value);
    void SendException(const char* id, int code, int kind);

    // Non-owning: the downloader observes the source through a weak reference.
    std::shared_ptr<TObserver> m_self;
    std::shared_ptr<IInstaller> m_installer;
    std::mutex m_lock;
    std::weak_ptr<IInstallerSourceCallback> m_sourceCallback;
    std::weak_ptr<JS::IInstallProgressJSCallback> m_progressCallback;
    // The highest value shown in this run: a re-sent download starts again at
    // 0 per cent, but the bar does not go back.
    float m_shownProgress = 0.0f;
    std::unique_ptr<Cxx::Network::Downloader::IDownloader> m_downloader;
    CommandLine::CInstallerOptions m_options;
    std::wstring m_serviceUrl;
    std::shared_ptr<IInstallAnalytics> m_analytics;
    Utils::Sleeper m_pause;
    Cxx::Core::Utils::COperationThread m_worker;
};

} // namespace CustomInstaller::Core
