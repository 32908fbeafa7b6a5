#include "installer/cpp_custominstaller/js/GAJSObject.h"

#include "browsercontrol/js/VariantArguments.h"

#include <cstdint>

namespace CustomInstaller::Core::JS {

using BrowserControl::JS::ArgumentCount;

namespace {

// A text argument that is not empty.
bool ReadText(const VARIANT& argument, std::wstring& text)
{
    if (argument.vt != VT_BSTR || !argument.bstrVal) {
        return false;
    }
    text.assign(argument.bstrVal, ::SysStringLen(argument.bstrVal));
    return !text.empty();
}

} // namespace

CGAJSObject::CGAJSObject(std::shared_ptr<GA::IGASender> sender) : m_sender(std::move(sender))
{
    AddMethod(L"sendScreen", &CGAJSObject::sendScreen);
    AddMethod(L"sendEvent", &CGAJSObject::sendEvent);
}

HRESULT CGAJSObject::sendScreen(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    std::wstring screenName;
    if (!params || params->cArgs != 1 || result || !ReadText(params->rgvarg[0], screenName)) {
        return E_INVALIDARG;
    }
    if (!m_sender) {
        return E_FAIL;
    }
    m_sender->SendScreen(screenName);
    return S_OK;
}

HRESULT CGAJSObject::sendEvent(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    const UINT count = ArgumentCount(params);
    if (!params || (count != 3 && count != 4) || result) {
        return E_INVALIDARG;
    }
    // Last argument first: the texts are the first three of the script's arguments.
    std::wstring action;
    std::wstring category;
    std::wstring screenName;
    if (!ReadText(params->rgvarg[count - 1], action) || !ReadText(params->rgvarg[count - 2], category) ||
        !ReadText(params->rgvarg[count - 3], screenName)) {
        return E_INVALIDARG;
    }
    int value = -1;
    if (count == 4 && !BrowserControl::JS::VariantToInt(params->rgvarg[0], value)) {
        return E_INVALIDARG;
    }
    if (!m_sender) {
        return E_FAIL;
    }
    m_sender->SendEvent(action, category, screenName, static_cast<std::int64_t>(value));
    return S_OK;
}

} // namespace CustomInstaller::Core::JS
