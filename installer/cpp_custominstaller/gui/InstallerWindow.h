#pragma once

#include "browsercontrol/WebDialog.h"
#include "cxx/core/Handle.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/core/IInstallManager.h"
#include "installer/cpp_custominstaller/gui/DragHook.h"
#include "installer/cpp_custominstaller/gui/SetupWindowTitle.h"
#include "installer/cpp_custominstaller/js/InstallerJSObject.h"

#include <windows.h>

#include <memory>
#include <string>

namespace CustomInstaller::Gui {

// The borderless window of the web road: a modal web dialog on the installer page, with the
// product's title and icon, a strip at the top that drags it, and the page's script objects
// (the web dialog's own, then installer and ga). The user's close request (Alt+F4, the
// taskbar) goes to the page's closeDialogRequested, and the page closes the window through
// basewnd; a page that cannot take the request lets the window close at once. DoModal
// answers the dialog result: BrowserControl::WebDialogPageTimeout when the page did not show
// the window in time, else the code the page closed it with.
class CInstallerWindow : public BrowserControl::CWebBaseModalDlg {
    using CBase = BrowserControl::CWebBaseModalDlg;

public:
    static constexpr UINT PageTimeoutMs = 10000;
    static constexpr int IconId = 101;

    // The folder of the page is the only one its browser trusts.
    CInstallerWindow(std::wstring pagePath, const std::shared_ptr<Core::IInstallManager>& manager,
                     Core::CommandLine::CInstallerOptions options);

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        CXX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        CXX_MESSAGE_HANDLER(WM_CLOSE, OnClose)
        CXX_CHAIN_MSG_MAP(CBase)
    CXX_END_MSG_MAP()

    void InitScriptObjects(const std::shared_ptr<BrowserControl::JS::CJSObjects>& objects) override;

protected:
    CInstallerWindow(std::wstring pagePath, const std::shared_ptr<Core::IInstallManager>& manager,
                     Core::CommandLine::CInstallerOptions options, UINT pageTimeoutMs);

    // Calls the page's closeDialogRequested; a failure means the page cannot take the request.
    virtual HRESULT AskPageToClose();

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, bool& handled);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& handled);
    LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled);

    CDragHook m_dragHook;
    const std::weak_ptr<Core::IInstallManager> m_manager;
    const Core::CommandLine::CInstallerOptions m_options;
    const float m_dpiScale;
    Cxx::Core::CComPtr<Core::JS::CInstallerJSObject> m_installer;
};

} // namespace CustomInstaller::Gui
