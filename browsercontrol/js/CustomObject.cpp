#include "browsercontrol/js/CustomObject.h"

#include "cxx/gui/Com.h"

#include <cwchar>

namespace BrowserControl::JS {

STDMETHODIMP CScriptObject::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        return Cxx::GUI::HandOut(object, this);
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CScriptObject::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CScriptObject::Release()
{
    const LONG left = ::InterlockedDecrement(&m_references);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CScriptObject::GetTypeInfoCount(UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CScriptObject::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (count != 0 && (!names || !ids)) {
        return E_INVALIDARG;
    }
    for (UINT index = 0; index < count; ++index) {
        const wchar_t* name = names[index] ? names[index] : L"";
        auto found = m_names.begin();
        while (found != m_names.end() && std::wcscmp(found->first.c_str(), name) != 0) {
            ++found;
        }
        if (found == m_names.end()) {
            return E_NOTIMPL;
        }
        ids[index] = found->second;
    }
    return S_OK;
}

STDMETHODIMP CScriptObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError)
{
    if (id == DISPID_VALUE && result) {
        ::VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = this;
        AddRef();
        return S_OK;
    }
    if (id < 1 || static_cast<std::size_t>(id) > m_names.size()) {
        return E_NOTIMPL;
    }
    return CallMethod(id, params, result, exception, argumentError);
}

DISPID CScriptObject::AddName(const wchar_t* name)
{
    const auto id = static_cast<DISPID>(m_names.size() + 1);
    m_names.emplace_back(name, id);
    return id;
}

} // namespace BrowserControl::JS
