#pragma once

#include "installer/cpp_custominstaller/core/IGASessionHandler.h"
#include "installer/cpp_custominstaller/core/IInstallAnalytics.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/core/IInstallerCallbacks.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace CustomInstaller::Core {

class CInstallManager : public IInstallManager, public IInstallerSourceCallback, public IInstallerLauncherCallback {
public:
    // Any of the four may be null.
    CInstallManager(std::unique_ptr<IInstallerSource> source, std::unique_ptr<IInstallerLauncher> launcher,
                    std::shared_ptr<CustomInstaller::IGASessionHandler> sessionHandler,
                    std::shared_ptr<IInstallAnalytics> analytics);
    // Waits for every thread that could still call back. A file that the source
    // hands over meanwhile is not run.
    ~CInstallManager() override;
    CInstallManager(const CInstallManager&) = delete;
    CInstallManager& operator=(const CInstallManager&) = delete;

    int GetState() override;
    // False, with nothing changed, while an earlier run has no outcome yet or its page is
    // still being told the outcome.
    bool Start(std::shared_ptr<JS::IInstallProgressJSCallback> callback) override;
    bool HasStarted() override;
    // Neither stage can be stopped once begun: true only when one of them
    // accepted the request; a real cancellation arrives as its own outcome.
    bool Cancel() override;
    void Wait() override;

    void OnSourceReady(std::shared_ptr<IInstaller> installer) override;
    void OnSourceFailed() override;
    void OnSourceCancelled() override;

    void OnLaunchSucceeded() override;
    void OnLaunchFailed(int kind) override;
    void OnLaunchCancelled() override;

private:
    // Stores the outcome; returns the page callback to tell. The run ends once the handler
    // has told the page.
    std::shared_ptr<JS::IInstallProgressJSCallback> Finish(EInstallState state);
    void SendEvent(const char* action);

    // Guards handing a file to the launcher against the destructor stopping it.
    std::mutex m_stageLock;
    bool m_stopping = false;
    std::mutex m_callbackLock;
    std::shared_ptr<JS::IInstallProgressJSCallback> m_progressCallback;
    // Non-owning: the stages get weak references to the manager from them.
    std::shared_ptr<IInstallerSourceCallback> m_sourceCallbackSelf;
    std::shared_ptr<IInstallerLauncherCallback> m_launcherCallbackSelf;
    std::unique_ptr<IInstallerSource> m_source;
    std::unique_ptr<IInstallerLauncher> m_launcher;
    std::shared_ptr<CustomInstaller::IGASessionHandler> m_sessionHandler;
    std::shared_ptr<IInstallAnalytics> m_analytics;
    std::atomic<int> m_state{IS_NotFinished};
    std::atomic<bool> m_inFlight{false};
    std::atomic<bool> m_started{false};
};

} // namespace CustomInstaller::Core
