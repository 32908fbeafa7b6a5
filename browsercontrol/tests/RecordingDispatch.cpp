#include "browsercontrol/tests/RecordingDispatch.h"

namespace BrowserControl::Tests {

CRecordingDispatch* CRecordingDispatch::Create(std::vector<std::wstring> methods)
{
    return new CRecordingDispatch(std::move(methods));
}

std::vector<CRecordingDispatch::CCall> CRecordingDispatch::Calls() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

std::size_t CRecordingDispatch::CallCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls.size();
}

std::size_t CRecordingDispatch::LookupCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lookups;
}

ULONG CRecordingDispatch::References()
{
    const DWORD lastRelease = m_lastReleaseThread;
    AddRef();
    const ULONG count = Release();
    m_lastReleaseThread = lastRelease;
    return count;
}

STDMETHODIMP CRecordingDispatch::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CRecordingDispatch::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CRecordingDispatch::Release()
{
    m_lastReleaseThread = ::GetCurrentThreadId();
    const LONG left = ::InterlockedDecrement(&m_references);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CRecordingDispatch::GetTypeInfoCount(UINT* count)
{
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

STDMETHODIMP CRecordingDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CRecordingDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_lookups;
    }
    if (!names || !ids || count != 1) {
        return E_INVALIDARG;
    }
    for (std::size_t index = 0; index < m_methods.size(); ++index) {
        if (m_methods[index] == names[0]) {
            ids[0] = static_cast<DISPID>(index + 1);
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CRecordingDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO*, UINT*)
{
    if (id < 1 || static_cast<std::size_t>(id) > m_methods.size()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    CCall call{m_methods[static_cast<std::size_t>(id - 1)], flags, {}, ::GetCurrentThreadId()};
    if (params) {
        for (UINT index = params->cArgs; index-- > 0;) {
            const VARIANT& value = params->rgvarg[index];
            const double number = value.vt == VT_R4 ? value.fltVal : value.vt == VT_INT ? value.intVal : 0.0;
            call.arguments.push_back(CArgument{value.vt, number});
        }
    }
    if (result) {
        ::VariantInit(result);
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_calls.push_back(std::move(call));
    return S_OK;
}

} // namespace BrowserControl::Tests
