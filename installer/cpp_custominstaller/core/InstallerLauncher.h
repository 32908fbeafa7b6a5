#pragma once

#include "installer/cpp_custominstaller/core/IInstallAnalytics.h"
#include "installer/cpp_custominstaller/core/IInstallerCallbacks.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"
#include "installer/cpp_custominstaller/core/ProgressSender.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace CustomInstaller::Core {

// The time the launcher runs by; tests replace it so that no test waits out
// the pauses or the preparation limit.
struct CLaunchTiming {
    // A monotonic clock.
    std::function<std::chrono::milliseconds()> now;
    // The pause between two preparations of the file.
    Utils::Sleeper pause;
    // The progress sender's pauses.
    Utils::Sleeper progressPause;

    static CLaunchTiming System();
};

class CInstallerLauncher : public IInstallerLauncher {
public:
    static constexpr std::chrono::milliseconds PauseBetweenAttempts{3000};
    static constexpr std::chrono::milliseconds PreparationLimit{120000};

    // The command line and the analytics may be null.
    CInstallerLauncher(std::shared_ptr<CommandLine::INSISCommandLine> commandLine,
                       std::shared_ptr<IInstallAnalytics> analytics, CLaunchTiming timing = CLaunchTiming::System());
    // Stops the pauses and waits for the thread; an installer that has not
    // started yet never starts, a running one is waited for until it ends.
    ~CInstallerLauncher() override;
    CInstallerLauncher(const CInstallerLauncher&) = delete;
    CInstallerLauncher& operator=(const CInstallerLauncher&) = delete;

    // False when its thread could not start; no outcome is reported then.
    bool Launch(const std::shared_ptr<IInstaller>& installer, std::weak_ptr<IInstallerLauncherCallback> callback,
                std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback) override;
    // The installer cannot be stopped: false.
    bool Cancel() override;
    bool Join() override;

private:
    void StopThread();
    void LaunchInstaller();
    void Run(const std::shared_ptr<IInstallerLauncherCallback>& callback);
    void SendException(const std::string& description, const char* id, int code);

    std::jthread m_thread;
    std::weak_ptr<IInstallerLauncherCallback> m_callback;
    std::shared_ptr<IInstaller> m_installer;
    std::weak_ptr<JS::IInstallProgressJSCallback> m_progressCallback;
    std::shared_ptr<CommandLine::INSISCommandLine> m_commandLine;
    std::shared_ptr<IInstallAnalytics> m_analytics;
    CLaunchTiming m_timing;
};

} // namespace CustomInstaller::Core
