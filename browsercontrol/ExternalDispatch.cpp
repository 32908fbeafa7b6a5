#include "browsercontrol/ExternalDispatch.h"

namespace BrowserControl {

STDMETHODIMP CExternalDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!m_objects) {
        return DISP_E_UNKNOWNNAME;
    }
    if (count != 0 && (!names || !ids)) {
        return E_INVALIDARG;
    }
    // Each name is looked up as a string of its own, which may not be had.
    return Cxx::GUI::GuardComCall([&]() -> HRESULT {
        for (UINT index = 0; index < count; ++index) {
            const int found = names[index] ? m_objects->FindIndex(names[index]) : -1;
            if (found < 0) {
                return DISP_E_UNKNOWNNAME;
            }
            ids[index] = found;
        }
        return S_OK;
    });
}

STDMETHODIMP CExternalDispatch::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                       UINT*)
{
    if (!m_objects || !result || id < 0 || id >= m_objects->GetCount()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    Cxx::Core::CComPtr<IDispatch> object = m_objects->GetObject(id);
    if (!object) {
        return DISP_E_MEMBERNOTFOUND;
    }
    ::VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object.Detach();
    return S_OK;
}

} // namespace BrowserControl
