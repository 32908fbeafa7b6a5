#pragma once

#include "browsercontrol/js/CustomObject.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/js/CInstallProgressJSCallback.h"

#include <memory>
#include <string>
#include <vector>

namespace CustomInstaller::Core::JS {

// The script object installer: starts the installation with the page's callback object and
// hands out the installation details. It holds the manager weakly, so the page cannot keep
// the manager alive.
class CInstallerJSObject final : public BrowserControl::JS::custom_object<CInstallerJSObject> {
public:
    // noMarshal: the page's callbacks are called directly from the workers (tests only).
    CInstallerJSObject(std::weak_ptr<IInstallManager> manager, CommandLine::CInstallerOptions options, bool noMarshal);

    std::wstring GetName() const override { return L"installer"; }

    // (callback object) -> bool: true when the manager took the run; false while an earlier
    // run goes on, when the manager is gone, or once the callbacks were detached. Its
    // onStarted has run when it answers true.
    HRESULT start(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // () -> bool: whether a stage of the run accepted the request.
    HRESULT cancel(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // () -> a new installationDetails object over the options as they were when this object
    // was made.
    HRESULT getDetails(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

    // The page goes away: the callbacks handed to the manager stop calling it, workers
    // waiting on a call are let go, and no run starts any more. Call on the UI thread.
    void DetachCallbacks();

private:
    const CommandLine::CInstallerOptions m_options;
    const bool m_noMarshal;
    const std::weak_ptr<IInstallManager> m_manager;
    std::vector<std::weak_ptr<CInstallProgressJSCallback>> m_callbacks;
    bool m_detached = false;
};

// The script object that getDetails answers: the options the page shows and puts in links.
// Every method takes no arguments and answers a text.
class CInstallationDetailsJSObject final : public BrowserControl::JS::custom_object<CInstallationDetailsJSObject> {
public:
    explicit CInstallationDetailsJSObject(CommandLine::CInstallerOptions options);

    std::wstring GetName() const override { return L"installationDetails"; }

    // "0" when none was given.
    HRESULT getBuildId(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT getOSource(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT getTracking(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // The product's version unless the options carry another.
    HRESULT getVersion(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT getLanguage(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // Not offered: E_NOTIMPL.
    HRESULT getUID(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    static HRESULT Answer(DISPPARAMS* params, VARIANT* result, const std::wstring& text);

    const CommandLine::CInstallerOptions m_options;
};

} // namespace CustomInstaller::Core::JS
