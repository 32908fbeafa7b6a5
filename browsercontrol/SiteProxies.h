#pragma once

#include "cxx/core/Handle.h"
#include "cxx/gui/Com.h"

#include <windows.h>
#include <docobj.h>
#include <mshtmhst.h>
#include <oleidl.h>

#include <functional>
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

// Whether the document the browser now shows may have the host's external object.
using CExternalGate = std::function<bool()>;

// The UI handler the browser sees: the inner handler's, except that the page never gets the
// browser's context menu, and a document the gate refuses gets no external object.
class CDocHostUIHandlerProxy final : public IDocHostUIHandler {
public:
    // An empty gate lets every document have it.
    CDocHostUIHandlerProxy(IDocHostUIHandler& inner, CExternalGate gate) : m_inner(&inner), m_gate(std::move(gate)) {}
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
    // S_FALSE and no object when the gate refuses the document.
    STDMETHODIMP GetExternal(IDispatch** external) override;
    STDMETHODIMP TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject* object, IDataObject** filtered) override;

private:
    ~CDocHostUIHandlerProxy() = default;

    Cxx::GUI::CReferenceCount m_references;
    const Cxx::Core::CComPtr<IDocHostUIHandler> m_inner;
    const CExternalGate m_gate;
};

} // namespace BrowserControl

namespace browser {

// The client site the browser sees: the inner site, whose UI handler comes wrapped in a
// BrowserControl::CDocHostUIHandlerProxy (one for the proxy's life) with the gate given.
class COleClientSiteProxy final : public BrowserControl::CForwardingClientSite {
public:
    explicit COleClientSiteProxy(IOleClientSite* inner, BrowserControl::CExternalGate gate = {})
        : CForwardingClientSite(Cxx::Core::CComPtr<IOleClientSite>(inner)), m_gate(std::move(gate))
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
    const BrowserControl::CExternalGate m_gate;
    std::mutex m_lock;
    Cxx::Core::CComPtr<BrowserControl::CDocHostUIHandlerProxy> m_handler;
};

} // namespace browser
