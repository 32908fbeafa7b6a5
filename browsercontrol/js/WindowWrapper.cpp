#include "browsercontrol/js/WindowWrapper.h"

#include "browsercontrol/js/VariantArguments.h"

namespace BrowserControl::JS::WindowWrapper {

void CSingleWindowWrapper::Show()
{
    if (m_window.IsWindow()) {
        m_window.ShowWindow(SW_SHOW);
    }
}

void CSingleWindowWrapper::ShowWithSize(int width, int height)
{
    if (m_window.IsWindow()) {
        m_window.SetWindowPos(nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
        m_window.CenterWindow();
        m_window.ShowWindow(SW_SHOW);
    }
}

void CSingleWindowWrapper::Close()
{
    CloseWithExitCode(0);
}

void CSingleWindowWrapper::Hide()
{
    if (m_window.IsWindow()) {
        m_window.ShowWindow(SW_HIDE);
    }
}

void CSingleWindowWrapper::Minimize()
{
    if (m_window.IsWindow() && ::IsWindowVisible(m_window.Handle()) && IsMinimizeSupported()) {
        m_window.ShowWindow(SW_MINIMIZE);
    }
}

bool CSingleWindowWrapper::IsMinimizeSupported()
{
    return m_window.IsWindow() && !m_window.GetParent() &&
           !(::GetWindowLongPtrW(m_window.Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
}

void CSingleWindowWrapper::CloseWithExitCode(int code)
{
    if (m_window.IsWindow()) {
        m_window.PostMessage(m_closeMessage, static_cast<WPARAM>(code), 0);
    }
}

void CBrowserWindowWrapper::Show()
{
    if (m_window.Handle()) {
        m_window.PostMessage(m_showMessage, 0, 0);
    }
}

void CBrowserWindowWrapper::ShowWithSize(int width, int height)
{
    if (m_window.Handle()) {
        m_window.PostMessage(m_showSizedMessage, static_cast<WPARAM>(width), static_cast<LPARAM>(height));
    }
}

void CBrowserWindowWrapper::Close()
{
    CloseWithExitCode(1);
}

void CBrowserWindowWrapper::CloseWithExitCode(int code)
{
    if (m_window.Handle()) {
        m_window.PostMessage(m_closeWithCodeMessage, static_cast<WPARAM>(code), 0);
    }
}

CJSWindowWrapper::CJSWindowWrapper(std::shared_ptr<IWindowWrapper> wrapper) : m_wrapper(std::move(wrapper))
{
    AddMethod(L"hide", &CJSWindowWrapper::hide);
    AddMethod(L"close", &CJSWindowWrapper::close);
    AddMethod(L"show", &CJSWindowWrapper::show);
    AddMethod(L"minimize", &CJSWindowWrapper::minimize);
    AddMethod(L"isMinimizeSupported", &CJSWindowWrapper::isMinimizeSupported);
    AddMethod(L"getDPI", &CJSWindowWrapper::getDPI);
    AddMethod(L"closeWithExitCode", &CJSWindowWrapper::closeWithExitCode);
}

HRESULT CJSWindowWrapper::CallWithoutArguments(DISPPARAMS* params, VARIANT* result, void (IWindowWrapper::*call)())
{
    if (ArgumentCount(params) != 0 || result) {
        return E_INVALIDARG;
    }
    if (!m_wrapper) {
        return E_FAIL;
    }
    (m_wrapper.get()->*call)();
    return S_OK;
}

HRESULT CJSWindowWrapper::hide(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return CallWithoutArguments(params, result, &IWindowWrapper::Hide);
}

HRESULT CJSWindowWrapper::close(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return CallWithoutArguments(params, result, &IWindowWrapper::Close);
}

HRESULT CJSWindowWrapper::show(DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 2 || !m_wrapper) {
        return E_FAIL;
    }
    int width = 0;
    int height = 0;
    if (!VariantToInt(params->rgvarg[1], width) || !VariantToInt(params->rgvarg[0], height)) {
        return E_INVALIDARG;
    }
    m_wrapper->ShowWithSize(width, height);
    return S_OK;
}

HRESULT CJSWindowWrapper::minimize(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || result) {
        return E_INVALIDARG;
    }
    CVariant supported;
    if (FAILED(isMinimizeSupported(nullptr, supported.Put(), nullptr, nullptr))) {
        return E_FAIL;
    }
    if (supported.Get().boolVal != VARIANT_TRUE) {
        return E_NOTIMPL;
    }
    m_wrapper->Minimize();
    return S_OK;
}

HRESULT CJSWindowWrapper::isMinimizeSupported(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    if (!m_wrapper) {
        return E_FAIL;
    }
    ::VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = m_wrapper->IsMinimizeSupported() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CJSWindowWrapper::getDPI(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return CVariant::Int(static_cast<int>(static_cast<float>(dpi * 100) / 96.0f)).CopyTo(result);
}

HRESULT CJSWindowWrapper::closeWithExitCode(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 1 || result) {
        return E_INVALIDARG;
    }
    if (!m_wrapper) {
        return E_FAIL;
    }
    int code = 0;
    if (!VariantToInt(params->rgvarg[0], code)) {
        return E_INVALIDARG;
    }
    m_wrapper->CloseWithExitCode(code);
    return S_OK;
}

} // namespace BrowserControl::JS::WindowWrapper
