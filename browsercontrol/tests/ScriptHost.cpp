#include "browsercontrol/tests/ScriptHost.h"

#include "browsercontrol/ExternalDispatch.h"

#include <map>

namespace BrowserControl::Tests {

using Cxx::Core::CComPtr;

namespace {

// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}
const CLSID kJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
// IActiveScriptParse has an interface id of its own in 64-bit processes;
// mingw's uuid library lacks both.
#ifdef _WIN64
const IID kActiveScriptParse = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};
#else
const IID kActiveScriptParse = {0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#endif

} // namespace

class CScriptHost::CSite final : public IActiveScriptSite {
public:
    std::map<std::wstring, CComPtr<IDispatch>> items;
    HRESULT errorCode = S_OK;
    std::wstring errorText;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite)) {
            return Cxx::GUI::HandOut(object, this);
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** type) override
    {
        if (type) {
            *type = nullptr;
        }
        const auto found = items.find(name);
        if (found == items.end()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (!(mask & SCRIPTINFO_IUNKNOWN)) {
            return mask & SCRIPTINFO_ITYPEINFO ? TYPE_E_ELEMENTNOTFOUND : S_OK;
        }
        *item = found->second.Get();
        (*item)->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override
    {
        EXCEPINFO info{};
        if (FAILED(error->GetExceptionInfo(&info))) {
            errorCode = E_FAIL;
            return S_OK;
        }
        if (info.pfnDeferredFillIn) {
            info.pfnDeferredFillIn(&info);
        }
        errorCode = info.scode != S_OK ? info.scode : E_FAIL;
        errorText = info.bstrDescription ? info.bstrDescription : L"";
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
        return S_OK;
    }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }

private:
    ~CSite() = default;
    ULONG m_references = 0;
};

CScriptHost::CScriptHost() : m_site(new CSite)
{
    if (FAILED(::CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, m_engine.PutVoid())) ||
        FAILED(m_engine->SetScriptSite(m_site.Get()))) {
        m_engine.Reset();
        return;
    }
    CComPtr<IActiveScriptParse> parse;
    if (SUCCEEDED(m_engine->QueryInterface(kActiveScriptParse, parse.PutVoid())) && SUCCEEDED(parse->InitNew()) &&
        SUCCEEDED(m_engine->SetScriptState(SCRIPTSTATE_CONNECTED))) {
        m_parse = std::move(parse);
    }
}

CScriptHost::~CScriptHost()
{
    m_parse.Reset();
    if (m_engine) {
        m_engine->Close();
    }
}

bool CScriptHost::AddNamedItem(const std::wstring& name, IDispatch* object)
{
    if (!Ready()) {
        return false;
    }
    m_site->items[name] = CComPtr<IDispatch>(object);
    return SUCCEEDED(m_engine->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE));
}

bool CScriptHost::AddExternal(const std::shared_ptr<JS::CJSObjects>& objects)
{
    const CComPtr<CExternalDispatch> external(new CExternalDispatch(objects));
    return AddNamedItem(L"external", external.Get());
}

HRESULT CScriptHost::Run(const std::wstring& script)
{
    if (!Ready()) {
        return E_UNEXPECTED;
    }
    m_site->errorCode = S_OK;
    m_site->errorText.clear();
    EXCEPINFO info{};
    const HRESULT hr = m_parse->ParseScriptText(script.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &info);
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
    if (SUCCEEDED(hr)) {
        return S_OK;
    }
    if (m_site->errorCode == S_OK) {
        m_site->errorCode = hr;
    }
    return m_site->errorCode;
}

HRESULT CScriptHost::ErrorCode() const
{
    return m_site->errorCode;
}

std::wstring CScriptHost::ErrorText() const
{
    return m_site->errorText;
}

Cxx::GUI::CVariant CScriptHost::Global(const std::wstring& name)
{
    Cxx::GUI::CVariant value;
    CComPtr<IDispatch> globals;
    if (!Ready() || FAILED(m_engine->GetScriptDispatch(nullptr, globals.Put())) || !globals) {
        return value;
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    DISPPARAMS none{};
    if (SUCCEEDED(globals->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) {
        globals->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr, nullptr);
    }
    return value;
}

std::wstring Describe(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
        return L"undefined";
    case VT_BOOL:
        return value.boolVal ? L"true" : L"false";
    case VT_I4:
        return std::to_wstring(value.lVal);
    case VT_INT:
        return std::to_wstring(value.intVal);
    case VT_BSTR:
        return L"'" + std::wstring(value.bstrVal ? value.bstrVal : L"") + L"'";
    default:
        return L"vt " + std::to_wstring(value.vt);
    }
}

std::wstring ScriptText(const std::wstring& text)
{
    std::wstring literal = L"'";
    for (const wchar_t c : text) {
        if (c == L'\\' || c == L'\'') {
            literal += L'\\';
        }
        literal += c;
    }
    return literal + L"'";
}

} // namespace BrowserControl::Tests
