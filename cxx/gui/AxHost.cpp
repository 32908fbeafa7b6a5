#include "cxx/gui/AxHost.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/gui/Com.h"

#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>
#include <servprov.h>

#include <string>

namespace Cxx::GUI::Ax {

// {83728272-5C18-4EEC-8732-47084DDDDCFA}
const IID IID_IAxHost = {0x83728272, 0x5c18, 0x4eec, {0x87, 0x32, 0x47, 0x08, 0x4d, 0xdd, 0xdc, 0xfa}};

namespace {

using Core::CComPtr;

constexpr wchar_t kHostProperty[] = L"Cxx.GUI.AxHost";

class CHost final : public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleInPlaceFrame,
                    public IDocHostUIHandler,
                    public IServiceProvider,
                    public IDispatch,
                    public IAxHost {
public:
    explicit CHost(HWND window) : m_window(window) {}

    HRESULT CreateControl(const std::wstring& text);
    void Resize();
    void ReleaseControl();
    void Detach()
    {
        ReleaseControl();
        m_window = nullptr;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            return HandOut(object, static_cast<IOleClientSite*>(this));
        }
        if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
            return HandOut(object, static_cast<IOleInPlaceSite*>(this));
        }
        if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            return HandOut(object, static_cast<IOleInPlaceFrame*>(this));
        }
        if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
            return HandOut(object, m_uiHandler ? m_uiHandler.Get() : static_cast<IDocHostUIHandler*>(this));
        }
        if (IsEqualIID(iid, IID_IServiceProvider)) {
            return HandOut(object, static_cast<IServiceProvider*>(this));
        }
        if (IsEqualIID(iid, IID_IDispatch)) {
            return HandOut(object, static_cast<IDispatch*>(this));
        }
        if (IsEqualIID(iid, IID_IAxHost)) {
            return HandOut(object, static_cast<IAxHost*>(this));
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_references.Increment(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        return m_references.Decrement([this] { delete this; });
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker) {
            *moniker = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        if (container) {
            *container = nullptr;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, for the in-place site and the frame alike
    STDMETHODIMP GetWindow(HWND* window) override
    {
        if (!window) {
            return E_POINTER;
        }
        *window = m_window;
        return m_window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_window ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        if (!frame || !document || !position || !clip || !info) {
            return E_POINTER;
        }
        *document = nullptr;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        ::GetClientRect(m_window, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = ::GetAncestor(m_window, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override
    {
        auto inPlace = QueryInterfaceOf<IOleInPlaceObject>(m_control.Get(), IID_IOleInPlaceObject);
        if (inPlace && position) {
            inPlace->SetObjectRects(position, position);
        }
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, tool space or status bar
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: the control's own behaviour, with a flat border and the external object
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override
    {
        if (!info) {
            return E_POINTER;
        }
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        info->pchHostCss = nullptr;
        info->pchHostNS = nullptr;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override
    {
        return S_FALSE;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    // EnableModeless of the frame serves the UI handler too.
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override
    {
        if (key) {
            *key = nullptr;
        }
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override
    {
        if (target) {
            *target = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override
    {
        if (!external) {
            return E_POINTER;
        }
        *external = m_external.Get();
        if (!*external) {
            return S_FALSE;
        }
        (*external)->AddRef();
        return S_OK;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override
    {
        if (translated) {
            *translated = nullptr;
        }
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override
    {
        if (filtered) {
            *filtered = nullptr;
        }
        return S_FALSE;
    }

    // IServiceProvider: the host offers no services of its own
    STDMETHODIMP QueryService(REFGUID, REFIID, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    // IDispatch: ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override
    {
        if (m_ambient) {
            const HRESULT hr = m_ambient->Invoke(id, iid, locale, flags, params, result, exception, argumentError);
            if (SUCCEEDED(hr)) {
                return hr;
            }
        }
        if (id != DISPID_AMBIENT_USERMODE) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (!result) {
            return E_INVALIDARG;
        }
        ::VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
    }

    // IAxHost
    STDMETHODIMP GetControl(IUnknown** control) override
    {
        if (!control) {
            return E_POINTER;
        }
        *control = m_control.Get();
        if (!*control) {
            return S_FALSE;
        }
        (*control)->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetExternalDispatch(IDispatch* external) override
    {
        m_external = CComPtr<IDispatch>(external);
        return S_OK;
    }
    STDMETHODIMP SetAmbientDispatch(IDispatch* ambient) override
    {
        m_ambient = CComPtr<IDispatch>(ambient);
        return S_OK;
    }
    STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override
    {
        m_uiHandler = CComPtr<IDocHostUIHandler>(handler);
        return S_OK;
    }

private:
    ~CHost() = default;

    CReferenceCount m_references;
    HWND m_window;
    CComPtr<IUnknown> m_control;
    CComPtr<IOleObject> m_object;
    CComPtr<IDispatch> m_external;
    CComPtr<IDispatch> m_ambient;
    CComPtr<IDocHostUIHandler> m_uiHandler;
};

HRESULT CHost::CreateControl(const std::wstring& text)
{
    if (text.empty()) {
        return E_INVALIDARG;
    }
    CLSID clsid{};
    std::wstring url;
    if (text.front() == L'{' ? FAILED(::CLSIDFromString(text.c_str(), &clsid))
                             : FAILED(::CLSIDFromProgID(text.c_str(), &clsid))) {
        clsid = CLSID_WebBrowser;
        url = text;
    }
    CComPtr<IUnknown> control;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    auto object = QueryInterfaceOf<IOleObject>(control.Get(), IID_IOleObject);
    if (!object) {
        return E_NOINTERFACE;
    }
    DWORD misc = 0;
    object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    IOleClientSite* site = this;
    if (misc & OLEMISC_SETCLIENTSITEFIRST) {
        object->SetClientSite(site);
    }
    if (auto init = QueryInterfaceOf<IPersistStreamInit>(control.Get(), IID_IPersistStreamInit)) {
        init->InitNew();
    }
    if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) {
        object->SetClientSite(site);
    }
    m_control = control;
    m_object = object;
    RECT client{};
    ::GetClientRect(m_window, &client);
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, m_window, &client);
    if (FAILED(hr)) {
        return hr;
    }
    if (url.empty()) {
        return S_OK;
    }
    auto browser = QueryInterfaceOf<IWebBrowser2>(control.Get(), IID_IWebBrowser2);
    if (!browser) {
        return E_NOINTERFACE;
    }
    CVariant target;
    target.Put()->bstrVal = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    if (!target.Get().bstrVal) {
        return E_OUTOFMEMORY;
    }
    target.Put()->vt = VT_BSTR;
    CVariant none;
    // The page loads in the background; a failed load shows as the control's own error page.
    browser->Navigate2(target.Put(), none.Put(), none.Put(), none.Put(), none.Put());
    return S_OK;
}

void CHost::Resize()
{
    if (auto inPlace = QueryInterfaceOf<IOleInPlaceObject>(m_control.Get(), IID_IOleInPlaceObject)) {
        RECT client{};
        ::GetClientRect(m_window, &client);
        inPlace->SetObjectRects(&client, &client);
    }
}

void CHost::ReleaseControl()
{
    if (auto inPlace = QueryInterfaceOf<IOleInPlaceObject>(m_control.Get(), IID_IOleInPlaceObject)) {
        inPlace->InPlaceDeactivate();
    }
    if (m_object) {
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
    }
    m_object.Reset();
    m_control.Reset();
    m_external.Reset();
    m_ambient.Reset();
    m_uiHandler.Reset();
}

CHost* HostOf(HWND window)
{
    return static_cast<CHost*>(::GetPropW(window, kHostProperty));
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        // No exception may leave the window procedure: a host that cannot be made fails the creation.
        try {
            CComPtr<CHost> host(new CHost(window));
            if (!::SetPropW(window, kHostProperty, host.Get())) {
                return -1;
            }
            // The property's reference, given back on WM_NCDESTROY.
            host->AddRef();
            const int length = ::GetWindowTextLengthW(window);
            std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
            text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
            return SUCCEEDED(host->CreateControl(text)) ? 0 : -1;
        } catch (...) {
            return -1;
        }
    case WM_SIZE:
        if (CHost* host = HostOf(window)) {
            host->Resize();
        }
        break;
    case WM_DESTROY:
        if (CHost* host = HostOf(window)) {
            host->ReleaseControl();
        }
        break;
    case WM_NCDESTROY:
        if (CHost* host = HostOf(window)) {
            ::RemovePropW(window, kHostProperty);
            host->Detach();
            host->Release();
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

bool RegisterWindowClass()
{
    static const DWORD registration = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &HostWindowProc;
        windowClass.hInstance = Core::Utils::GetCurrentModuleHandle();
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = WindowClassName;
        return ::RegisterClassExW(&windowClass) != 0 ? ERROR_SUCCESS : ::GetLastError();
    }();
    ::SetLastError(registration);
    return registration == ERROR_SUCCESS;
}

CComPtr<IAxHost> GetHost(HWND window)
{
    CHost* host = window ? HostOf(window) : nullptr;
    return CComPtr<IAxHost>(host);
}

} // namespace Cxx::GUI::Ax
