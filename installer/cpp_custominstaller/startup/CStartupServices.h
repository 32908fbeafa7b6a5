#pragma once

#include "cxx/core/ComHolder.h"
#include "installer/cpp_custominstaller/startup/IStartupServices.h"

namespace CustomInstaller {

// The program's own services: the real instance checks, network probe and
// sleep, the client-id job, the analytics session and client, the browser
// emulation value, the install managers and the installer window. Make it on
// the thread that shows the window and keep it for the whole run.
class CStartupServices : public IStartupServices {
public:
    CStartupServices();

    bool ExtractTrackingUid(const std::wstring& fileName) override;
    bool IsFirstInstance() override;
    void BringRunningCopyToFront() override;
    bool IsSetupAlreadyRunning() override;
    void ReleaseInstance() override;
    SessionHandlerPtr CreateSessionHandler(const CInstallationDetails& details) override;
    void EnableBrowserEmulation() override;
    void DisableBrowserEmulation() override;
    void SendEvent(const CStartupEvent& event) override;
    void SendException(const CStartupException& exception) override;
    void SetAutomaticSessionManagement(bool enabled) override;
    void Sleep(std::chrono::seconds duration) override;
    bool IsInternetConnected() override;
    ManagerPtr CreateWebInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                       const CInstallerOptions& options) override;
    ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                         const CInstallerOptions& options) override;
    ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr& sessionHandler, const CInstallationDetails& details,
                                          const CInstallerOptions& options) override;
    std::unique_ptr<Gui::CWebUiFiles> UnpackWebUi() override;
    int RunInstallerWindow(const Gui::CWebUiFiles& page, const ManagerPtr& manager,
                           const CInstallerOptions& options) override;

private:
    // The window's apartment. Its page's objects are let go when the window goes, but the
    // install manager and its page callback outlive the window until the run ends.
    const Cxx::Core::Utils::CComHolder m_apartment;
};

} // namespace CustomInstaller
