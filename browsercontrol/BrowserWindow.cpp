#include "browsercontrol/BrowserWindow.h"

#include "browsercontrol/ExternalDispatch.h"

#include <exdispid.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <urlmon.h>

#include <cwchar>
#include <iterator>
#include <new>

namespace BrowserControl {

using Cxx::Core::CComPtr;
using Cxx::GUI::CVariant;
using Cxx::GUI::QueryInterfaceOf;

namespace {

const wchar_t* TextOf(const VARIANT& value)
{
    if (value.vt == VT_BSTR) {
        return value.bstrVal;
    }
    if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal) {
        return *value.pbstrVal;
    }
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) {
        return TextOf(*value.pvarVal);
    }
    return nullptr;
}

void Cancel(VARIANT& cancel)
{
    if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal) {
        *cancel.pboolVal = VARIANT_TRUE;
    }
}

// The host window's text, from which the host makes an empty WebBrowser control: the page is
// loaded only once the control's events are connected, and is never read as a class.
std::wstring WebBrowserClassText()
{
    wchar_t text[40] = {};
    return ::StringFromGUID2(CLSID_WebBrowser, text, static_cast<int>(std::size(text))) > 0 ? text : L"";
}

} // namespace

class CBrowserWindow::CDocumentCheck {
public:
    explicit CDocumentCheck(const CLocalPageScope& scope) : m_scope(scope) {}

    void Watch(IWebBrowser2* browser) { m_browser = CComPtr<IWebBrowser2>(browser); }
    void Forget() { m_browser.Reset(); }

    // The window let a navigation of the control's own window through; its document is done.
    void OnNavigationChecked() { m_checkedNavigation = true; }
    void OnDocumentDone() { m_checkedNavigation = false; }

    // The control may not have set its location yet while the navigation it was last let
    // through loads: until that document is done, an empty location is that navigation's.
    bool ShowsOwnDocument() const
    {
        Cxx::GUI::CBstr location;
        if (!m_browser || FAILED(m_browser->get_LocationURL(location.Put()))) {
            return false;
        }
        const wchar_t* const url = location.Get() ? location.Get() : L"";
        if (*url == L'\0' || std::wcscmp(url, L"about:blank") == 0) {
            return m_checkedNavigation;
        }
        return m_scope.Contains(url);
    }

    // Whether an event's window is the control's own, not one of its frames.
    bool IsTopLevel(const VARIANT& window) const
    {
        if (window.vt != VT_DISPATCH || !window.pdispVal || !m_browser) {
            return false;
        }
        return QueryInterfaceOf<IUnknown>(window.pdispVal, IID_IUnknown).Get() ==
               QueryInterfaceOf<IUnknown>(m_browser.Get(), IID_IUnknown).Get();
    }

private:
    const CLocalPageScope m_scope;
    CComPtr<IWebBrowser2> m_browser;
    bool m_checkedNavigation = false;
};

void SetBrowserFeatures()
{
    // A feature this browser does not know keeps its default; the page works either way.
    ::CoInternetSetFeatureEnabled(FEATURE_WEBOC_POPUPMANAGEMENT, SET_FEATURE_ON_PROCESS, FALSE);
    ::CoInternetSetFeatureEnabled(FEATURE_SSLUX, SET_FEATURE_ON_PROCESS, TRUE);
    ::CoInternetSetFeatureEnabled(FEATURE_ZONE_ELEVATION, SET_FEATURE_ON_PROCESS, FALSE);
    ::CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, TRUE);
}

CBrowserWindow::CBrowserWindow(std::shared_ptr<JS::CJSObjects> objects, CLocalPageScope scope, std::wstring pageUrl)
    : m_objects(std::move(objects)),
      m_pageUrl(std::move(pageUrl)),
      m_scope(std::move(scope)),
      m_documentCheck(std::make_shared<CDocumentCheck>(m_scope))
{
}

bool CBrowserWindow::Create(HWND parent, const RECT& rect)
{
    if (!m_scope.Contains(m_pageUrl.c_str())) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::wstring control = WebBrowserClassText();
    if (control.empty() || !Cxx::GUI::Ax::RegisterWindowClass() ||
        !CWindowImpl::Create(parent, rect, control.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)) {
        return false;
    }
    // Read by the host only while it was being created; from now on it names the page.
    ::SetWindowTextW(m_hWnd, m_pageUrl.c_str());
    auto object = QueryInterfaceOf<IOleObject>(GetWebBrowser(), IID_IOleObject);
    CComPtr<IOleClientSite> site;
    if (object && SUCCEEDED(object->GetClientSite(site.Put())) && site) {
        m_siteProxy = CComPtr<browser::COleClientSiteProxy>(new browser::COleClientSiteProxy(
            site.Get(), [check = m_documentCheck] { return check->ShowsOwnDocument(); }));
        // The control may ask any of the host's interfaces for the UI handler: each answers the gated one.
        const auto handler = QueryInterfaceOf<IDocHostUIHandler>(m_siteProxy.Get(), IID_IDocHostUIHandler);
        if (const auto host = Cxx::GUI::Ax::GetHost(m_hWnd); host && handler) {
            host->SetUIHandler(handler.Get());
        }
        object->SetClientSite(m_siteProxy.Get());
    }
    // Loaded in the background now that the events are connected; a failed load shows as
    // the control's own error page.
    try {
        CVariant url = CVariant::String(m_pageUrl);
        CVariant none;
        GetWebBrowser()->Navigate2(const_cast<VARIANT*>(&url.Get()), none.Put(), none.Put(), none.Put(), none.Put());
    } catch (const std::bad_alloc&) {
        DestroyWindow();
        ::SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
    return true;
}

LRESULT CBrowserWindow::OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool&)
{
    const LRESULT created = DefWindowProc(message, wParam, lParam);
    const auto host = Cxx::GUI::Ax::GetHost(m_hWnd);
    CComPtr<IUnknown> control;
    if (!host || FAILED(host->GetControl(control.Put())) || !ConnectBrowser(control.Get())) {
        return -1;
    }
    m_documentCheck->Watch(GetWebBrowser());
    CComPtr<CInternetSecurityManager> manager(new CInternetSecurityManager(host.Get(), m_scope));
    const auto object = QueryInterfaceOf<IOleObject>(control.Get(), IID_IOleObject);
    const auto oleControl = QueryInterfaceOf<IOleControl>(control.Get(), IID_IOleControl);
    if (!object || !oleControl) {
        DisconnectBrowser();
        return -1;
    }
    object->SetClientSite(manager.Get());
    host->SetAmbientDispatch(manager.Get());
    oleControl->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
    CComPtr<CExternalDispatch> external(new CExternalDispatch(m_objects));
    if (FAILED(host->SetExternalDispatch(external.Get()))) {
        Unwire();
        return -1;
    }
    return created;
}

LRESULT CBrowserWindow::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    // The host lets the control go afterwards.
    handled = false;
    Unwire();
    return 0;
}

void CBrowserWindow::Unwire()
{
    const auto object = QueryInterfaceOf<IOleObject>(GetWebBrowser(), IID_IOleObject);
    if (m_siteProxy) {
        const CComPtr<IOleClientSite> inner = m_siteProxy->TakeInner();
        m_siteProxy.Reset();
        if (object) {
            object->SetClientSite(inner.Get());
        }
    }
    m_documentCheck->Forget();
    if (!GetWebBrowser()) {
        return;
    }
    if (const auto host = Cxx::GUI::Ax::GetHost(m_hWnd)) {
        if (object) {
            object->SetClientSite(QueryInterfaceOf<IOleClientSite>(host.Get(), IID_IOleClientSite).Get());
        }
        host->SetAmbientDispatch(nullptr);
        host->SetUIHandler(nullptr);
        if (const auto oleControl = QueryInterfaceOf<IOleControl>(GetWebBrowser(), IID_IOleControl)) {
            oleControl->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
        }
        host->SetExternalDispatch(nullptr);
    }
    DisconnectBrowser();
}

void CBrowserWindow::OnBrowserEvent(DISPID id, DISPPARAMS* params)
{
    const UINT count = params ? params->cArgs : 0;
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        // (window, URL, flags, target frame, post data, headers, cancel), in any frame.
        if (count != 7) {
            break;
        }
        if (!m_scope.Contains(TextOf(params->rgvarg[5]))) {
            Cancel(params->rgvarg[0]);
        } else if (m_documentCheck->IsTopLevel(params->rgvarg[6])) {
            m_documentCheck->OnNavigationChecked();
        }
        break;
    case DISPID_DOCUMENTCOMPLETE:
        // (window, URL)
        if (count == 2 && m_documentCheck->IsTopLevel(params->rgvarg[1])) {
            m_documentCheck->OnDocumentDone();
        }
        break;
    case DISPID_NEWWINDOW2:
        // (new window, cancel)
        if (count == 2) {
            Cancel(params->rgvarg[0]);
        }
        break;
    case DISPID_NEWWINDOW3:
        // (new window, cancel, flags, referring URL, URL)
        if (count == 5) {
            Cancel(params->rgvarg[3]);
        }
        break;
    case DISPID_NAVIGATEERROR:
        // (window, URL, target frame, status, cancel). The dialog shows the control's error page.
        if (count == 5 && m_documentCheck->IsTopLevel(params->rgvarg[4])) {
            m_documentCheck->OnDocumentDone();
        }
        if (const HWND parent = ::GetParent(m_hWnd)) {
            ::InvalidateRect(parent, nullptr, FALSE);
        }
        break;
    default:
        break;
    }
}

} // namespace BrowserControl
