#include "installer/cpp_custominstaller/core/InstallManager.h"

#include <exception>

namespace CustomInstaller::Core {

namespace {

constexpr char SuccessAction[] = "InstallerSuccessW";
constexpr char FailureAction[] = "InstallerFailureW";

template <typename T>
std::shared_ptr<T> NonOwning(T* object)
{
    return std::shared_ptr<T>(object, [](T*) {});
}

// Ends the run when an outcome handler returns, after the page has heard of the outcome: a
// start the page makes from its final callback is refused, since it would make the UI thread
// wait for the very worker that is waiting for the UI thread.
class CRunEnd {
public:
    explicit CRunEnd(std::atomic<bool>& inFlight) : m_inFlight(inFlight) {}
    ~CRunEnd() { m_inFlight.store(false); }
    CRunEnd(const CRunEnd&) = delete;
    CRunEnd& operator=(const CRunEnd&) = delete;

private:
    std::atomic<bool>& m_inFlight;
};

} // namespace

CInstallManager::CInstallManager(std::unique_ptr<IInstallerSource> source, std::unique_ptr<IInstallerLauncher> launcher,
                                 std::shared_ptr<CustomInstaller::IGASessionHandler> sessionHandler,
                                 std::shared_ptr<IInstallAnalytics> analytics)
    : m_sourceCallbackSelf(NonOwning<IInstallerSourceCallback>(this)),
      m_launcherCallbackSelf(NonOwning<IInstallerLauncherCallback>(this)),
      m_source(std::move(source)),
      m_launcher(std::move(launcher)),
      m_sessionHandler(std::move(sessionHandler)),
      m_analytics(std::move(analytics))
{
}

CInstallManager::~CInstallManager()
{
    // The launcher first, so that a download that succeeds while the source is
    // being stopped starts no installer. Both are gone before anything their
    // threads read is released.
    {
        std::lock_guard stage(m_stageLock);
        m_stopping = true;
    }
    m_launcher.reset();
    m_source.reset();
    m_sessionHandler.reset();
    m_sourceCallbackSelf.reset();
    m_launcherCallbackSelf.reset();
    m_progressCallback.reset();
}

int CInstallManager::GetState()
{
    return m_state.load();
}

bool CInstallManager::Start(std::shared_ptr<JS::IInstallProgressJSCallback> callback)
{
    bool idle = false;
    if (!m_inFlight.compare_exchange_strong(idle, true)) {
        return false;
    }
    m_started.store(true);
    m_state.exchange(IS_NotFinished);
    {
        std::lock_guard guard(m_callbackLock);
        m_progressCallback = callback;
    }
    if (callback) {
        callback->OnStarted();
        callback->OnProgress(0.0f);
    }
    bool started = false;
    if (m_source && m_launcher) {
        try {
            started = m_source->Start(std::weak_ptr<IInstallerSourceCallback>(m_sourceCallbackSelf), callback);
        } catch (const std::exception&) {
            // Its thread could not start: this run fails here, like a source that answered false.
            started = false;
        }
    }
    if (!started) {
        OnSourceFailed();
    }
    return true;
}

bool CInstallManager::HasStarted()
{
    return m_started.load();
}

bool CInstallManager::Cancel()
{
    const bool sourceCancelled = m_source && m_source->Cancel();
    const bool launcherCancelled = m_launcher && m_launcher->Cancel();
    return sourceCancelled || launcherCancelled;
}

void CInstallManager::Wait()
{
    if (m_source) {
        m_source->Join();
    }
    if (m_launcher) {
        m_launcher->Join();
    }
}

void CInstallManager::OnSourceReady(std::shared_ptr<IInstaller> installer)
{
    if (!installer) {
        OnSourceFailed();
        return;
    }
    std::shared_ptr<JS::IInstallProgressJSCallback> page;
    {
        std::lock_guard guard(m_callbackLock);
        page = m_progressCallback;
    }
    bool launched = false;
    {
        std::lock_guard stage(m_stageLock);
        if (m_stopping) {
            return;
        }
        if (m_launcher) {
            const std::weak_ptr<IInstallerLauncherCallback> self(m_launcherCallbackSelf);
            try {
                launched = m_launcher->Launch(installer, self, page);
            } catch (const std::exception&) {
                // Nothing will report an outcome: this run fails here, like a launcher that answered false.
                launched = false;
            }
        }
    }
    if (!launched) {
        OnLaunchFailed(LF_General);
    }
}

void CInstallManager::OnSourceFailed()
{
    const CRunEnd end(m_inFlight);
    const auto page = Finish(IS_SourceFailed);
    SendEvent(FailureAction);
    if (m_sessionHandler) {
        m_sessionHandler->OnInstallFailed();
    }
    if (page) {
        page->OnError(0);
    }
}

void CInstallManager::OnSourceCancelled()
{
    const CRunEnd end(m_inFlight);
    const auto page = Finish(IS_SourceCancelled);
    if (m_sessionHandler) {
        m_sessionHandler->OnInstallCancelled();
    }
    if (page) {
        page->OnCancel();
    }
}

void CInstallManager::OnLaunchSucceeded()
{
    const CRunEnd end(m_inFlight);
    const auto page = Finish(IS_Succeeded);
    SendEvent(SuccessAction);
    if (m_sessionHandler) {
        m_sessionHandler->OnInstallSucceeded();
    }
    if (page) {
        page->OnFinish();
    }
}

void CInstallManager::OnLaunchFailed(int kind)
{
    const CRunEnd end(m_inFlight);
    SendEvent(FailureAction);
    if (m_sessionHandler) {
        m_sessionHandler->OnInstallFailed();
    }
    EInstallState state = IS_LaunchFailed;
    int pageCode = 0;
    if (kind == LF_InstallerRejected) {
        state = IS_InstallerNotStarted;
        pageCode = 1;
    } else if (kind == LF_ExitCode5) {
        state = IS_InstallerExitCode5;
        pageCode = 3;
    }
    const auto page = Finish(state);
    if (page) {
        page->OnError(pageCode);
    }
}

void CInstallManager::OnLaunchCancelled()
{
    const CRunEnd end(m_inFlight);
    const auto page = Finish(IS_InstallerCancelled);
    if (m_sessionHandler) {
        m_sessionHandler->OnInstallCancelled();
    }
    if (page) {
        page->OnCancel();
    }
}

std::shared_ptr<JS::IInstallProgressJSCallback> CInstallManager::Finish(EInstallState state)
{
    std::shared_ptr<JS::IInstallProgressJSCallback> page;
    {
        std::lock_guard guard(m_callbackLock);
        page = m_progressCallback;
    }
    m_state.exchange(state);
    return page;
}

void CInstallManager::SendEvent(const char* action)
{
    if (m_analytics) {
        m_analytics->SendEvent(action, std::string());
    }
}

} // namespace CustomInstaller::Core
