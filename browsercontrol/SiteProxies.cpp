#include "browsercontrol/SiteProxies.h"

#include "cxx/gui/Com.h"

#include <utility>

namespace BrowserControl {

using Cxx::Core::CComPtr;

STDMETHODIMP CForwardingClientSite::SaveObject()
{
    return m_innerSite ? m_innerSite->SaveObject() : E_FAIL;
}

STDMETHODIMP CForwardingClientSite::GetMoniker(DWORD assign, DWORD which, IMoniker** moniker)
{
    return m_innerSite ? m_innerSite->GetMoniker(assign, which, moniker) : E_FAIL;
}

STDMETHODIMP CForwardingClientSite::GetContainer(IOleContainer** container)
{
    return m_innerSite ? m_innerSite->GetContainer(container) : E_FAIL;
}

STDMETHODIMP CForwardingClientSite::ShowObject()
{
    return m_innerSite ? m_innerSite->ShowObject() : E_FAIL;
}

STDMETHODIMP CForwardingClientSite::OnShowWindow(BOOL show)
{
    return m_innerSite ? m_innerSite->OnShowWindow(show) : E_FAIL;
}

STDMETHODIMP CForwardingClientSite::RequestNewObjectLayout()
{
    return m_innerSite ? m_innerSite->RequestNewObjectLayout() : E_FAIL;
}

STDMETHODIMP CDocHostUIHandlerProxy::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDocHostUIHandler)) {
        return Cxx::GUI::HandOut(object, this);
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDocHostUIHandlerProxy::AddRef()
{
    return m_references.Increment();
}

STDMETHODIMP_(ULONG) CDocHostUIHandlerProxy::Release()
{
    return m_references.Decrement([this] { delete this; });
}

STDMETHODIMP CDocHostUIHandlerProxy::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_OK;
}

STDMETHODIMP CDocHostUIHandlerProxy::GetHostInfo(DOCHOSTUIINFO* info)
{
    return m_inner->GetHostInfo(info);
}

STDMETHODIMP CDocHostUIHandlerProxy::ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject,
                                            IOleCommandTarget* commandTarget, IOleInPlaceFrame* frame,
                                            IOleInPlaceUIWindow* document)
{
    return m_inner->ShowUI(id, activeObject, commandTarget, frame, document);
}

STDMETHODIMP CDocHostUIHandlerProxy::HideUI()
{
    return m_inner->HideUI();
}

STDMETHODIMP CDocHostUIHandlerProxy::UpdateUI()
{
    return m_inner->UpdateUI();
}

STDMETHODIMP CDocHostUIHandlerProxy::EnableModeless(BOOL enable)
{
    return m_inner->EnableModeless(enable);
}

STDMETHODIMP CDocHostUIHandlerProxy::OnDocWindowActivate(BOOL activate)
{
    return m_inner->OnDocWindowActivate(activate);
}

STDMETHODIMP CDocHostUIHandlerProxy::OnFrameWindowActivate(BOOL activate)
{
    return m_inner->OnFrameWindowActivate(activate);
}

STDMETHODIMP CDocHostUIHandlerProxy::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow)
{
    return m_inner->ResizeBorder(border, window, frameWindow);
}

STDMETHODIMP CDocHostUIHandlerProxy::TranslateAccelerator(LPMSG message, const GUID* group, DWORD command)
{
    return m_inner->TranslateAccelerator(message, group, command);
}

STDMETHODIMP CDocHostUIHandlerProxy::GetOptionKeyPath(LPOLESTR* key, DWORD reserved)
{
    return m_inner->GetOptionKeyPath(key, reserved);
}

STDMETHODIMP CDocHostUIHandlerProxy::GetDropTarget(IDropTarget* target, IDropTarget** replacement)
{
    return m_inner->GetDropTarget(target, replacement);
}

STDMETHODIMP CDocHostUIHandlerProxy::GetExternal(IDispatch** external)
{
    if (m_gate && !m_gate()) {
        if (!external) {
            return E_POINTER;
        }
        *external = nullptr;
        return S_FALSE;
    }
    return m_inner->GetExternal(external);
}

STDMETHODIMP CDocHostUIHandlerProxy::TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated)
{
    return m_inner->TranslateUrl(translate, url, translated);
}

STDMETHODIMP CDocHostUIHandlerProxy::FilterDataObject(IDataObject* object, IDataObject** filtered)
{
    return m_inner->FilterDataObject(object, filtered);
}

} // namespace BrowserControl

namespace browser {

using Cxx::Core::CComPtr;

CComPtr<IOleClientSite> COleClientSiteProxy::TakeInner()
{
    return std::move(m_innerSite);
}

STDMETHODIMP COleClientSiteProxy::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
        return Cxx::GUI::HandOut(object, this);
    }
    if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_handler) {
            auto inner = Cxx::GUI::QueryInterfaceOf<IDocHostUIHandler>(m_innerSite.Get(), IID_IDocHostUIHandler);
            if (!inner) {
                return E_NOINTERFACE;
            }
            try {
                m_handler = CComPtr<BrowserControl::CDocHostUIHandlerProxy>(
                    new BrowserControl::CDocHostUIHandlerProxy(*inner.Get(), m_gate));
            } catch (...) {
                // No exception may cross the COM boundary.
                return Cxx::GUI::CurrentExceptionResult();
            }
        }
        return Cxx::GUI::HandOut(object, m_handler.Get());
    }
    return m_innerSite ? m_innerSite->QueryInterface(iid, object) : E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleClientSiteProxy::AddRef()
{
    return m_references.Increment();
}

STDMETHODIMP_(ULONG) COleClientSiteProxy::Release()
{
    return m_references.Decrement([this] { delete this; });
}

} // namespace browser
