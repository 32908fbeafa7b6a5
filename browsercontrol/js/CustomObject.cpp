#include "browsercontrol/js/CustomObject.h"

#include "cxx/core/TextUtils.h"

#include <cwchar>
#include <exception>
#include <new>

namespace BrowserControl::JS {

namespace {

class CScriptCall;

// The innermost call running on this thread.
thread_local const CScriptCall* t_innermostCall = nullptr;

// One running call, linked to the call it runs inside of, so that entering one allocates nothing.
class CScriptCall {
public:
    explicit CScriptCall(const IDispatch* object) : m_object(object), m_outer(t_innermostCall)
    {
        t_innermostCall = this;
    }
    ~CScriptCall() { t_innermostCall = m_outer; }
    CScriptCall(const CScriptCall&) = delete;
    CScriptCall& operator=(const CScriptCall&) = delete;

    static bool IsRunning(const IDispatch* object)
    {
        for (const CScriptCall* call = t_innermostCall; call; call = call->m_outer) {
            if (call->m_object == object) {
                return true;
            }
        }
        return false;
    }

private:
    const IDispatch* const m_object;
    const CScriptCall* const m_outer;
};

// The answer to a method that threw anything but std::bad_alloc: with an EXCEPINFO,
// DISP_E_EXCEPTION with E_FAIL and the exception's text, where it can be made; else E_FAIL.
HRESULT ReportFailure(EXCEPINFO* exception, const char* text) noexcept
{
    if (!exception) {
        return E_FAIL;
    }
    *exception = EXCEPINFO{};
    exception->scode = E_FAIL;
    try {
        const std::wstring description = Cxx::Core::Utils::Utf8ToWideString(text);
        exception->bstrDescription = ::SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    } catch (...) {
        // The code alone still tells the page that the call failed.
    }
    return DISP_E_EXCEPTION;
}

} // namespace

bool IsScriptCallRunning(const IDispatch* object)
{
    return CScriptCall::IsRunning(object);
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
    const CScriptCall call(this);
    // No exception may reach the page's script engine: the page gets a script error instead.
    try {
        return CallMethod(id, params, result, exception, argumentError);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& failure) {
        return ReportFailure(exception, failure.what());
    } catch (...) {
        return ReportFailure(exception, "");
    }
}

DISPID CScriptObject::AddName(const wchar_t* name)
{
    const auto id = static_cast<DISPID>(m_names.size() + 1);
    m_names.emplace_back(name, id);
    return id;
}

} // namespace BrowserControl::JS
