#include "installer/cpp_custominstaller/startup/CWebInstaller.h"

#include "cxx/core/Handle.h"
#include "installer/cpp_custominstaller/gui/WebUiFiles.h"
#include "installer/cpp_custominstaller/startup/ExitCodes.h"

#include <windows.h>

#include <thread>

namespace CustomInstaller {

namespace {

// Waits for the manager's threads while this thread still serves the messages
// sent to its windows: a worker may just then be reporting to the page's
// callback window, which belongs to this thread.
void WaitServingSentMessages(Core::IInstallManager& manager)
{
    const Cxx::Core::CHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) {
        manager.Wait();
        return;
    }
    std::jthread waiter([&manager, &done] {
        manager.Wait();
        ::SetEvent(done.Get());
    });
    const HANDLE handles[] = {done.Get()};
    while (::MsgWaitForMultipleObjectsEx(1, handles, INFINITE, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0 + 1) {
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

CWebInstaller::CWebInstaller(const std::shared_ptr<Core::IInstallManager>& manager,
                             const Core::CommandLine::CInstallerOptions& options, IStartupServices& services)
    : m_manager(manager), m_options(options), m_services(services)
{
}

int CWebInstaller::Run()
{
    const std::shared_ptr<Core::IInstallManager> manager = m_manager.lock();
    if (!manager) {
        return EC_NoResult;
    }
    int result = PageTimeoutResult;
    {
        // A page that could not be written never shows. Its files go as soon as the window has.
        const std::unique_ptr<Gui::CWebUiFiles> page = m_services.UnpackWebUi();
        if (page) {
            result = m_services.RunInstallerWindow(*page, manager, m_options);
        }
    }
    if (result == PageTimeoutResult) {
        m_services.SendException({"timeout", "IJ", 1, 2});
    }
    // The page may close while its installation goes on; the run ends with the installation.
    if (manager->HasStarted()) {
        WaitServingSentMessages(*manager);
        return MapInstallStateToExitCode(manager->GetState());
    }
    return result == PageTimeoutResult ? EC_PageTimeout : MapInstallStateToExitCode(manager->GetState());
}

} // namespace CustomInstaller
