#include "browsercontrol/SecurityManager.h"

#include "cxx/gui/Com.h"

#include <mshtmdid.h>
#include <shlwapi.h>

#include <cwctype>
#include <vector>

namespace BrowserControl {

using Cxx::Core::CComPtr;
using Cxx::GUI::QueryInterfaceOf;

namespace {

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return {};
    }
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// The folder part in its long form, so that a short 8.3 spelling names the same folder.
std::wstring LongFolder(const std::wstring& path)
{
    const std::size_t end = path.rfind(L'\\');
    if (end == std::wstring::npos) {
        return {};
    }
    const std::wstring folder = path.substr(0, end + 1);
    const DWORD size = ::GetLongPathNameW(folder.c_str(), nullptr, 0);
    if (size == 0) {
        return folder;
    }
    std::wstring longForm(size, L'\0');
    longForm.resize(::GetLongPathNameW(folder.c_str(), longForm.data(), size));
    if (longForm.empty()) {
        return folder;
    }
    if (longForm.back() != L'\\') {
        longForm += L'\\';
    }
    return longForm;
}

// The canonical local path of a file: URL or an absolute drive path; empty for anything else,
// network paths included.
std::wstring LocalPath(const std::wstring& url)
{
    std::wstring path;
    if (StartsWithNoCase(url, L"file:")) {
        const std::wstring location = url.substr(0, url.find_first_of(L"?#"));
        std::vector<wchar_t> buffer(location.size() + MAX_PATH);
        DWORD size = static_cast<DWORD>(buffer.size());
        if (FAILED(::PathCreateFromUrlW(location.c_str(), buffer.data(), &size, 0))) {
            return {};
        }
        path.assign(buffer.data(), size);
    } else if (url.size() >= 3 && std::iswalpha(url[0]) && url[1] == L':' && (url[2] == L'\\' || url[2] == L'/')) {
        path = url;
    } else {
        return {};
    }
    path = FullPath(path);
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') {
        return {};
    }
    const std::wstring folder = LongFolder(path);
    return folder + path.substr(path.rfind(L'\\') + 1);
}

} // namespace

CLocalPageScope::CLocalPageScope(const std::wstring& pageUrl)
{
    const std::wstring page = LocalPath(pageUrl);
    if (!page.empty()) {
        m_folder = page.substr(0, page.rfind(L'\\') + 1);
    }
}

bool CLocalPageScope::Contains(const wchar_t* url) const noexcept
{
    if (m_folder.empty() || !url) {
        return false;
    }
    try {
        return StartsWithNoCase(LocalPath(url), m_folder);
    } catch (...) {
        // A URL that cannot be checked is foreign.
        return false;
    }
}

CInternetSecurityManager::CInternetSecurityManager(IUnknown* host, CLocalPageScope scope)
    : CForwardingClientSite(QueryInterfaceOf<IOleClientSite>(host, IID_IOleClientSite)), m_scope(std::move(scope)),
      m_host(host), m_hostServices(QueryInterfaceOf<IServiceProvider>(host, IID_IServiceProvider))
{
}

STDMETHODIMP CInternetSecurityManager::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IServiceProvider)) {
        return Cxx::GUI::HandOut(object, static_cast<IServiceProvider*>(this));
    }
    if (IsEqualIID(iid, IID_IInternetSecurityManager)) {
        return Cxx::GUI::HandOut(object, static_cast<IInternetSecurityManager*>(this));
    }
    if (IsEqualIID(iid, IID_IOleClientSite)) {
        return Cxx::GUI::HandOut(object, static_cast<IOleClientSite*>(this));
    }
    if (IsEqualIID(iid, IID_IDispatch)) {
        return Cxx::GUI::HandOut(object, static_cast<IDispatch*>(this));
    }
    // The rest of the container (in-place site, UI handler ...) is the host's.
    return m_host ? m_host->QueryInterface(iid, object) : E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CInternetSecurityManager::AddRef()
{
    return m_references.Increment();
}

STDMETHODIMP_(ULONG) CInternetSecurityManager::Release()
{
    return m_references.Decrement([this] { delete this; });
}

STDMETHODIMP CInternetSecurityManager::QueryService(REFGUID service, REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IInternetSecurityManager)) {
        return Cxx::GUI::HandOut(object, static_cast<IInternetSecurityManager*>(this));
    }
    return m_hostServices ? m_hostServices->QueryService(service, iid, object) : E_NOINTERFACE;
}

STDMETHODIMP CInternetSecurityManager::SetSecuritySite(IInternetSecurityMgrSite*)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetSecuritySite(IInternetSecurityMgrSite**)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD)
{
    if (!m_scope.Contains(url)) {
        return INET_E_DEFAULT_ACTION;
    }
    if (!zone) {
        return E_POINTER;
    }
    *zone = URLZONE_TRUSTED;
    return S_OK;
}

STDMETHODIMP CInternetSecurityManager::GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy,
                                                        DWORD policySize, BYTE*, DWORD, DWORD, DWORD)
{
    if (action != URLACTION_SCRIPT_RUN || policySize != sizeof(DWORD) || !policy || !m_scope.Contains(url)) {
        return INET_E_DEFAULT_ACTION;
    }
    *reinterpret_cast<DWORD*>(policy) = URLPOLICY_ALLOW;
    return S_OK;
}

STDMETHODIMP CInternetSecurityManager::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::SetZoneMapping(DWORD, LPCWSTR, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetZoneMappings(DWORD, IEnumString**, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetTypeInfoCount(UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                              EXCEPINFO*, UINT*)
{
    if (id != DISPID_AMBIENT_DLCONTROL) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!result) {
        return E_INVALIDARG;
    }
    ::VariantInit(result);
    result->vt = VT_I4;
    result->lVal = DLCTL_DLIMAGES;
    return S_OK;
}

} // namespace BrowserControl
