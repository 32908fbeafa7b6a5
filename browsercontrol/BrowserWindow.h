#pragma once

#include "browsercontrol/SecurityManager.h"
#include "browsercontrol/SiteProxies.h"
#include "browsercontrol/js/JSObjects.h"
#include "cxx/core/Handle.h"
#include "cxx/gui/AxHost.h"
#include "cxx/gui/Com.h"
#include "cxx/gui/EventSink.h"
#include "cxx/gui/WindowImpl.h"

#include <windows.h>
#include <exdisp.h>

#include <memory>
#include <string>

namespace BrowserControl {

// Switches the browser features the hosted pages need, for the whole process: no pop-up
// management, the secure-connection user interface, no zone elevation checks, no sounds.
void SetBrowserFeatures();

// The WebBrowser control of T, with its DWebBrowserEvents2 handed to T::OnBrowserEvent.
template <class T>
class CWebBrowser2Impl {
public:
    // Null before the control is connected and after it is let go.
    IWebBrowser2* GetWebBrowser() const { return m_browser.Get(); }

protected:
    CWebBrowser2Impl() { SetBrowserFeatures(); }

    // False, keeping no browser, when the control has no IWebBrowser2 or its events do not connect.
    bool ConnectBrowser(IUnknown* control)
    {
        m_browser = Cxx::GUI::QueryInterfaceOf<IWebBrowser2>(control, IID_IWebBrowser2);
        if (!m_browser || FAILED(m_events.Connect(m_browser.Get(), DIID_DWebBrowserEvents2,
                                                  [this](DISPID id, DISPPARAMS* params) {
                                                      static_cast<T*>(this)->OnBrowserEvent(id, params);
                                                  }))) {
            m_browser.Reset();
            return false;
        }
        return true;
    }
    void DisconnectBrowser()
    {
        m_events.Disconnect();
        m_browser.Reset();
    }

private:
    Cxx::Core::CComPtr<IWebBrowser2> m_browser;
    Cxx::GUI::CEventConnection m_events;
};

// The child window that shows one page of a web dialog in a WebBrowser control, loaded from a
// URL of a file inside the folder the dialog trusts. The control gets the page's script objects as window.external, the
// security policy of CInternetSecurityManager, and no context menu. It stays inside the
// folder of its page: navigations of any frame that leave it, the first one included, and new
// windows are cancelled (the page opens outside links in the user's browser instead), and a
// document outside the folder gets no window.external, by whichever of the host's interfaces
// the control asks for its UI handler.
class CBrowserWindow final : public Cxx::GUI::CWindowImpl<CBrowserWindow>,
                             public CWebBrowser2Impl<CBrowserWindow> {
public:
    CBrowserWindow(std::shared_ptr<JS::CJSObjects> objects, CLocalPageScope scope, std::wstring pageUrl);

    static Cxx::GUI::CWndClassInfo GetWndClassInfo()
    {
        return {L"BrowserControl.BrowserWindow", Cxx::GUI::Ax::WindowClassName};
    }

    // A visible child of parent that starts loading the page; false, with no window, when the
    // page is no file of the scope (ERROR_ACCESS_DENIED) or there is no control, or it cannot be connected.
    bool Create(HWND parent, const RECT& rect);

    // One event of the control, as it fires them.
    void OnBrowserEvent(DISPID id, DISPPARAMS* params);

    // The page's script objects.
    const std::shared_ptr<JS::CJSObjects>& Objects() const { return m_objects; }

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_CREATE, OnCreate)
        CXX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    CXX_END_MSG_MAP()

private:
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // Gives the control and the host back their own site and ambient properties.
    void Unwire();

    // Answers for the UI handler, which the control may keep past this object.
    class CDocumentCheck;

    const std::shared_ptr<JS::CJSObjects> m_objects;
    const std::wstring m_pageUrl;
    const CLocalPageScope m_scope;
    const std::shared_ptr<CDocumentCheck> m_documentCheck;
    Cxx::Core::CComPtr<browser::COleClientSiteProxy> m_siteProxy;
};

} // namespace BrowserControl
