#include "browsercontrol/SecurityManager.h"

#include "cxx/core/TextUtils.h"
#include "cxx/gui/Com.h"

#include <mshtmdid.h>

#include <algorithm>
#include <string>

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

// The folder part of a full path in its long form, as far down as it exists, so that a short
// 8.3 spelling names the same folder as the long one.
std::wstring LongFolder(const std::wstring& path)
{
    const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    for (std::size_t known = folder.size(); known >= 3; known = folder.rfind(L'\\', known - 2) + 1) {
        const std::wstring head = folder.substr(0, known);
        const DWORD size = ::GetLongPathNameW(head.c_str(), nullptr, 0);
        if (size == 0) {
            continue;
        }
        std::wstring longForm(size, L'\0');
        longForm.resize(::GetLongPathNameW(head.c_str(), longForm.data(), size));
        if (longForm.empty()) {
            continue;
        }
        if (longForm.back() != L'\\') {
            longForm += L'\\';
        }
        return longForm + folder.substr(known);
    }
    return folder;
}

// A URL's path with its percent escapes decoded as UTF-8, beside letters written raw; false
// when the escapes are no UTF-8 text. A '%' that starts no escape stands for itself.
bool DecodeUrlPath(const std::wstring& encoded, std::wstring& decoded)
{
    std::string bytes;
    if (!Cxx::Core::Utils::WideToUtf8(encoded, bytes)) {
        return false;
    }
    std::string plain;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        const int high =
            bytes[index] == '%' && index + 2 < bytes.size() ? Cxx::Core::Utils::HexDigitValue(bytes[index + 1]) : -1;
        const int low = high >= 0 ? Cxx::Core::Utils::HexDigitValue(bytes[index + 2]) : -1;
        if (low < 0) {
            plain += bytes[index];
            continue;
        }
        plain += static_cast<char>(high * 16 + low);
        index += 2;
    }
    return Cxx::Core::Utils::Utf8ToWide(plain, decoded);
}

// The path of "file:///C:/...", "file://C:/..." or "file://localhost/C:/...", without query and
// fragment; empty for any other host.
std::wstring PathOfFileUrl(const std::wstring& url)
{
    std::wstring rest = url.substr(0, url.find_first_of(L"?#")).substr(5);
    for (const std::wstring authority : {L"///", L"//localhost/", L"//"}) {
        if (StartsWithNoCase(rest, authority)) {
            std::wstring path;
            return DecodeUrlPath(rest.substr(authority.size()), path) ? path : L"";
        }
    }
    return {};
}

bool IsControl(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The canonical local path of a file: URL or an absolute drive path; empty for anything else,
// network paths included.
std::wstring LocalPath(const std::wstring& url)
{
    std::wstring path = StartsWithNoCase(url, L"file:") ? PathOfFileUrl(url) : url;
    // No file name holds a control character, and a NUL would cut the path short of what the text names.
    if (path.size() < 3 || (path[0] | 0x20) < L'a' || (path[0] | 0x20) > L'z' || path[1] != L':' ||
        (path[2] != L'\\' && path[2] != L'/') || std::any_of(path.begin(), path.end(), IsControl)) {
        return {};
    }
    // Dot segments are resolved once decoded, as the file system resolves them.
    path = FullPath(path);
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') {
        return {};
    }
    return LongFolder(path) + path.substr(path.rfind(L'\\') + 1);
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
