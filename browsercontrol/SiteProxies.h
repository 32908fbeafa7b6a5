#pragma once

#include "cxx/core/Handle.h"
#include "cxx/gui/Com.h"

#include <windows.h>
#include <docobj.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <mutex>
#include <utility>

namespace BrowserControl {

// The IOleClientSite methods, forwarded to an inner site; E_FAIL while there is none.
class CForwardingClientSite : public IOleClientSite {
public:
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

protected:
    explicit CForwardingClientSite(Cxx::Core::CComPtr<IOleClientSite> inner) : m_innerSite(std::move(inner)) {}
    ~CForwardingClientSite() = default;

    Cxx::Core::CComPtr<IOleClientSite> m_innerSite;
};

// The UI handler the browser sees: the inner handler's, except that the page never gets the
// browser's context menu.
class CDocHostUIHandlerProxy final : public IDocHostUIHandler {
public:
    explicit CDocHostUIHandlerProxy(IDocHostUIHandler& inner) : m_inner(&inner) {}
    CDocHostUIHandlerProxy(const CDocHostUIHandlerProxy&) = delete;
    CDocHostUIHandlerProxy& operator=(const CDocHostUIHandlerProxy&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Shows nothing.
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                        IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
    STDMETHODIMP HideUI() override;
    STDMETHODIMP UpdateUI() override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID* group, DWORD command) override;
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
    STDMETHODIMP GetDropTarget(IDropTarget* target, IDropTarget** replacement) override;
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject* object, IDataObject** filtered) override;

private:
    ~CDocHostUIHandlerProxy() = default;

    Cxx::GUI::CReferenceCount m_references;
    const Cxx::Core::CComPtr<IDocHostUIHandler> m_inner;
};

} // namespace BrowserControl

namespace browser {

// The client site the browser sees: the inner site, whose UI handler comes wrapped in a
// BrowserControl::CDocHostUIHandlerProxy (one for the proxy's life).
class COleClientSiteProxy final : public BrowserControl::CForwardingClientSite {
public:
    explicit COleClientSiteProxy(IOleClientSite* inner) : CForwardingClientSite(Cxx::Core::CComPtr<IOleClientSite>(inner))
    {
    }
    COleClientSiteProxy(const COleClientSiteProxy&) = delete;
    COleClientSiteProxy& operator=(const COleClientSiteProxy&) = delete;

    // Gives the inner site back; from then on the site calls answer E_FAIL.
    Cxx::Core::CComPtr<IOleClientSite> TakeInner();

    // IDocHostUIHandler only when the inner site has one (else E_NOINTERFACE).
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    ~COleClientSiteProxy() = default;

    Cxx::GUI::CReferenceCount m_references;
    std::mutex m_lock;
    Cxx::Core::CComPtr<BrowserControl::CDocHostUIHandlerProxy> m_handler;
};

} // namespace browser
