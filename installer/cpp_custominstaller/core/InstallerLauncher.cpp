#include "installer/cpp_custominstaller/core/InstallerLauncher.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/thread/Interruption.h"

#include <exception>

namespace CustomInstaller::Core {

namespace {

constexpr float ProgressStart = 50.0f;
constexpr float ProgressEnd = 97.0f;
constexpr int ProgressInterval = 300;
constexpr float ProgressFactor = 0.03f;
constexpr int FailureKind = 2;

} // namespace

CLaunchTiming CLaunchTiming::System()
{
    CLaunchTiming timing;
    timing.now = [] { return std::chrono::milliseconds(::GetTickCount64()); };
    timing.pause = Utils::SystemSleeper();
    timing.progressPause = Utils::SystemSleeper();
    return timing;
}

CInstallerLauncher::CInstallerLauncher(std::shared_ptr<CommandLine::INSISCommandLine> commandLine,
                                       std::shared_ptr<IInstallAnalytics> analytics, CLaunchTiming timing)
    : m_commandLine(std::move(commandLine)), m_analytics(std::move(analytics)), m_timing(std::move(timing))
{
}

CInstallerLauncher::~CInstallerLauncher()
{
    StopThread();
}

bool CInstallerLauncher::Launch(const std::shared_ptr<IInstaller>& installer,
                                std::weak_ptr<IInstallerLauncherCallback> callback,
                                std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback)
{
    StopThread();
    m_installer = installer;
    m_callback = std::move(callback);
    m_progressCallback = progressCallback;
    try {
        m_thread = std::jthread([this](std::stop_token token) {
            const Cxx::Core::Utils::CStopTokenScope scope(std::move(token));
            LaunchInstaller();
        });
    } catch (const std::exception&) {
        // No thread (or no memory for one): nothing will report an outcome, so the caller must.
        return false;
    }
    return true;
}

bool CInstallerLauncher::Cancel()
{
    return false;
}

bool CInstallerLauncher::Join()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return true;
}

void CInstallerLauncher::StopThread()
{
    if (m_thread.joinable()) {
        Cxx::Core::Utils::RequestStop(m_thread.get_stop_source());
        m_thread.join();
    }
}

void CInstallerLauncher::LaunchInstaller()
{
    const auto callback = m_callback.lock();
    try {
        Run(callback);
    } catch (...) {
        // Whatever went wrong, the manager must learn that the run has ended.
        const DWORD error = ::GetLastError();
        if (callback) {
            callback->OnLaunchFailed(LF_General);
        }
        SendException("catch(...) launchInstallerImpl", "IR_", static_cast<int>(error));
    }
}

void CInstallerLauncher::Run(const std::shared_ptr<IInstallerLauncherCallback>& callback)
{
    if (!m_installer) {
        if (callback) {
            callback->OnLaunchFailed(LF_General);
        }
        SendException("!m_installer", "IR_", 0);
        return;
    }
    const std::wstring commandLine = m_commandLine ? m_commandLine->GetCommandLine() : std::wstring();

    Utils::CProgressSender sender(m_progressCallback, ProgressStart, ProgressEnd, ProgressInterval, ProgressFactor,
                                  m_timing.progressPause);
    sender.Start();

    const std::chrono::milliseconds startTick = m_timing.now();
    bool started = false;
    DWORD exitCode = 0;
    DWORD startError = 0;
    int prepared = PR_Ready;
    for (;;) {
        ::SetLastError(0);
        prepared = m_installer->Prepare();
        if (prepared == PR_Ready) {
            // A stop comes from an owner that is going away: no installer may start
            // for it, also when the stop came while the file was being checked.
            if (Cxx::Core::Utils::ThisThreadStopToken().stop_requested()) {
                break;
            }
            ::SetLastError(0);
            started = Cxx::Core::Utils::ExecuteAndGetExitCode(m_installer->GetPath(), commandLine, exitCode, true);
            startError = ::GetLastError();
            if (started) {
                break;
            }
        }
        if (!m_timing.pause(PauseBetweenAttempts)) {
            break;
        }
        if (m_timing.now() - startTick >= PreparationLimit) {
            break;
        }
    }
    // A stop requested while the installer ran changes nothing of its outcome.
    sender.Stop();

    if (started) {
        switch (exitCode) {
        case 0:
            if (callback) {
                callback->OnLaunchSucceeded();
            }
            break;
        case 1:
            if (m_analytics) {
                m_analytics->SendEvent("InstallerCancelW", "NSIS");
            }
            if (callback) {
                callback->OnLaunchCancelled();
            }
            break;
        case 5:
            SendException(std::string(), "ID7_", 0);
            if (callback) {
                callback->OnLaunchFailed(LF_ExitCode5);
            }
            break;
        default:
            SendException(std::string(), "IN", static_cast<int>(exitCode));
            if (callback) {
                callback->OnLaunchFailed(LF_General);
            }
            break;
        }
        return;
    }

    int kind = LF_General;
    switch (prepared) {
    case PR_Ready:
        SendException(std::string(), "IR_", static_cast<int>(startError));
        break;
    case PR_SignerUnreadable:
        SendException(std::string(), "ID6_", static_cast<int>(::GetLastError()));
        break;
    case PR_Rewritten:
        SendException(std::string(), "ID5_", PR_Rewritten);
        kind = LF_InstallerRejected;
        break;
    default:
        SendException(std::string(), "ID5_", prepared);
        break;
    }
    if (callback) {
        callback->OnLaunchFailed(kind);
    }
}

void CInstallerLauncher::SendException(const std::string& description, const char* id, int code)
{
    if (m_analytics) {
        m_analytics->SendException(description, id, code, FailureKind);
    }
}

} // namespace CustomInstaller::Core
