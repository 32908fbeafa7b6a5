#include "browsercontrol/js/CallScriptFunction.h"

#include "browsercontrol/js/VariantArguments.h"
#include "cxx/core/Handle.h"

#include <exdisp.h>
#include <mshtml.h>

namespace BrowserControl {

using Cxx::Core::CComPtr;

namespace {

HRESULT IdOfName(IDispatch* object, const std::wstring& name, DISPID& id)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    id = DISPID_UNKNOWN;
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

} // namespace

HRESULT CallScriptFunction(IWebBrowser2* browser, const std::wstring& name)
{
    if (!browser) {
        return E_POINTER;
    }
    CComPtr<IDispatch> document;
    const HRESULT hr = browser->get_Document(document.Put());
    if (FAILED(hr)) {
        return hr;
    }
    return CallScriptFunctionOfDocument(document.Get(), name);
}

HRESULT CallScriptFunctionOfDocument(IDispatch* document, const std::wstring& name)
{
    // A browser that has not loaded a page answers no document at all.
    if (!document) {
        return E_NOINTERFACE;
    }
    CComPtr<IHTMLDocument2> html;
    HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, html.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    if (!html) {
        return E_NOINTERFACE;
    }
    CComPtr<IHTMLWindow2> window;
    hr = html->get_parentWindow(window.Put());
    if (FAILED(hr)) {
        return hr;
    }
    if (!window) {
        return E_NOINTERFACE;
    }
    CComPtr<IDispatch> windowDispatch;
    hr = window->QueryInterface(IID_IDispatch, windowDispatch.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    return CallGlobalFunction(windowDispatch.Get(), name);
}

HRESULT CallGlobalFunction(IDispatch* window, const std::wstring& name)
{
    if (!window) {
        return E_POINTER;
    }
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = IdOfName(window, name, id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS noArguments{};
    JS::CVariant result;
    return window->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &noArguments, result.Put(), nullptr,
                          nullptr);
}

HRESULT CallMethodByName(IDispatch* object, const std::wstring& name, DISPPARAMS* arguments)
{
    if (!object) {
        return E_POINTER;
    }
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(IdOfName(object, name, id)) || id == DISPID_VALUE) {
        return S_FALSE;
    }
    DISPPARAMS noArguments{};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, arguments ? arguments : &noArguments,
                          nullptr, nullptr, nullptr);
}

} // namespace BrowserControl
