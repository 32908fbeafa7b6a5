#include "browsercontrol/js/CustomObject.h"

#include <cwchar>

namespace BrowserControl::JS {

namespace {

thread_local int t_scriptCalls = 0;

class CScriptCall {
public:
    CScriptCall() { ++t_scriptCalls; }
    ~CScriptCall() { --t_scriptCalls; }
    CScriptCall(const CScriptCall&) = delete;
    CScriptCall& operator=(const CScriptCall&) = delete;
};

} // namespace

bool IsScriptCallRunning()
{
    return t_scriptCalls > 0;
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
    const CScriptCall call;
    return CallMethod(id, params, result, exception, argumentError);
}

DISPID CScriptObject::AddName(const wchar_t* name)
{
    const auto id = static_cast<DISPID>(m_names.size() + 1);
    m_names.emplace_back(name, id);
    return id;
}

} // namespace BrowserControl::JS
