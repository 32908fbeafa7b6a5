#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <mshtmhst.h>
#include <oaidl.h>

namespace Cxx::GUI::Ax {

// A window of this class hosts one ActiveX control, made when the window is created from its
// text: a CLSID in braces, a ProgID, or else a URL or path that a new WebBrowser control
// opens. The window's host object is the control's container: client site, in-place site and
// frame, UI handler (IDocHostUIHandler, with the page's external object), service provider,
// and IDispatch for ambient properties. Creation fails when the control cannot be made.
inline constexpr wchar_t WindowClassName[] = L"AtlAxWin140";

// Registers the class for this module once; false (reason in GetLastError) when it cannot be.
bool RegisterWindowClass();

// What the host object offers beyond the container interfaces (IID_IAxHost).
struct IAxHost : public IUnknown {
    // The control (a reference added); S_FALSE and null when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetControl(IUnknown** control) = 0;
    // The object that IDocHostUIHandler::GetExternal answers (the page's window.external);
    // null for none.
    virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* external) = 0;
    // Asked first for every ambient property; null leaves only the host's own.
    virtual HRESULT STDMETHODCALLTYPE SetAmbientDispatch(IDispatch* ambient) = 0;
    // The UI handler the control gets, through whichever of the host's interfaces it asks;
    // null gives the host's own back.
    virtual HRESULT STDMETHODCALLTYPE SetUIHandler(IDocHostUIHandler* handler) = 0;
};
extern const IID IID_IAxHost;

// The host object of a host window, or null.
Core::CComPtr<IAxHost> GetHost(HWND window);

} // namespace Cxx::GUI::Ax
