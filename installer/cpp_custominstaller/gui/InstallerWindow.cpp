#include "installer/cpp_custominstaller/gui/InstallerWindow.h"

#include "browsercontrol/js/CallScriptFunction.h"
#include "browsercontrol/js/ChildWindow.h"
#include "browsercontrol/js/Downloader.h"
#include "browsercontrol/js/Launcher.h"
#include "browsercontrol/js/System.h"
#include "browsercontrol/js/WindowWrapper.h"
#include "installer/cpp_custominstaller/gui/LinkPresets.h"
#include "productlist/ProductList.h"
#include "installer/cpp_custominstaller/js/GAJSObject.h"

namespace CustomInstaller::Gui {

namespace JS = BrowserControl::JS;

CInstallerWindow::CInstallerWindow(std::wstring pagePath, const std::shared_ptr<Core::IInstallManager>& manager,
                                   Core::CommandLine::CInstallerOptions options)
    : CInstallerWindow(std::move(pagePath), manager, std::move(options), PageTimeoutMs)
{
}

CInstallerWindow::CInstallerWindow(std::wstring pagePath, const std::shared_ptr<Core::IInstallManager>& manager,
                                   Core::CommandLine::CInstallerOptions options, UINT pageTimeoutMs)
    : CBase(std::move(pagePath), L"", 0, pageTimeoutMs),
      m_manager(manager),
      m_options(std::move(options)),
      m_dpiScale(ScreenDpiScale())
{
}

void CInstallerWindow::InitScriptObjects(const std::shared_ptr<JS::CJSObjects>& objects)
{
    const auto catalogue = std::make_shared<ProductList::CProductList>(L"", "");
    JS::AddScriptObject(objects, new JS::CSystem(catalogue, std::make_shared<COpenInDefaultBrowserWithPresetParams>(
                                                                MakeLinkPresets(m_options, *catalogue, CurrentUnixTime()))));
    JS::AddScriptObject(objects, new JS::CLauncher());
    JS::AddScriptObject(objects, new JS::CDownloader(false));
    JS::AddScriptObject(objects, new JS::CChildWindow(ChildCreator()));
    // The web dialog's own wrapper: a close the page asks for ends the dialog,
    // where WM_CLOSE would only ask the page again.
    JS::AddScriptObject(objects, new JS::WindowWrapper::CJSWindowWrapper(std::make_shared<JS::WindowWrapper::CBrowserWindowWrapper>(
                                     BrowserControl::WM_WEBDLG_SHOW_SIZED, BrowserControl::WM_WEBDLG_SHOW,
                                     BrowserControl::WM_WEBDLG_CLOSE, Handle())));
    m_installer = Cxx::Core::CComPtr<Core::JS::CInstallerJSObject>(
        new Core::JS::CInstallerJSObject(m_manager, m_options, false));
    JS::AddScriptObject(objects, m_installer.Get());
    JS::AddScriptObject(objects, new Core::JS::CGAJSObject(std::make_shared<GA::CGASender>()));
}

HRESULT CInstallerWindow::AskPageToClose()
{
    const BrowserControl::CBrowserWindow* browser = MainBrowser();
    return browser ? BrowserControl::CallScriptFunction(browser->GetWebBrowser(), L"closeDialogRequested")
                   : E_POINTER;
}

LRESULT CInstallerWindow::OnInitDialog(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    // Without the hook the window works all the same; it only cannot be dragged.
    m_dragHook.Install(Handle(), m_dpiScale);
    ::SetWindowTextW(Handle(), SetupWindowTitle);
    if (const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IconId))) {
        ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
    return 0;
}

LRESULT CInstallerWindow::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    m_dragHook.Remove();
    // Workers still reporting to the page must not wait for a UI thread that stops serving them.
    if (m_installer) {
        m_installer->DetachCallbacks();
        m_installer.Reset();
    }
    return 0;
}

LRESULT CInstallerWindow::OnClose(UINT, WPARAM, LPARAM, bool& handled)
{
    // A page that is not loaded or broken could never close the window: it closes at once.
    handled = SUCCEEDED(AskPageToClose());
    return 0;
}

} // namespace CustomInstaller::Gui
