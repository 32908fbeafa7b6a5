#pragma once

#include "browsercontrol/SiteProxies.h"
#include "cxx/core/Handle.h"
#include "cxx/gui/Com.h"

#include <windows.h>
#include <oaidl.h>
#include <oleidl.h>
#include <servprov.h>
#include <urlmon.h>

#include <string>
#include <vector>

namespace BrowserControl {

// The file: URL of a full local path, as UrlCreateFromPathW writes it for ASCII: '/' for '\',
// and every control, blank, '"', '#', '%', '&', '<', '>', '[', ']', '^', '`', '{', '|' and
// '}' escaped. Letters outside ASCII stay as they are: escapes of their bytes would read one way
// in UTF-8 and another in the code page. Empty for an empty path.
std::wstring FileUrl(const std::wstring& path);

// What belongs to a dialog's own page: the files that exist inside the folder of that page, as
// the program holds its path. Every other URL is foreign, and everything when the path is no
// full local path: the folder is never read out of a URL.
class CLocalPageScope {
public:
    explicit CLocalPageScope(const std::wstring& pagePath);

    // A file: URL or an absolute path that spells the folder (long, short or as given) and then
    // a plain relative name of a file that exists in it or below it, and that no other reading
    // of the text takes to an existing file elsewhere. Never throws, so the policy and the
    // navigation checks built on it fail closed.
    bool Contains(const wchar_t* url) const noexcept;
    // The FileUrl of the file that a contained location names, with the location's query and
    // fragment; empty for a location it does not contain.
    std::wstring PageUrl(const wchar_t* location) const noexcept;

private:
    bool Resolve(const std::wstring& text, std::wstring& file, std::wstring& tail) const;
    bool NoReadingLeaves(const std::wstring& path) const;

    // The folder long, as given and short, each with its trailing backslash; empty when the
    // page is no local file.
    std::vector<std::wstring> m_spellings;
};

// The security policy of the hosted browser, served to it as the host's client site: the
// dialog's own page runs in the trusted zone with scripts allowed; every other URL gets the
// browser's default policy. Ambient download control: images load, videos and background
// sounds do not. Interfaces it does not implement are asked of the host.
class CInternetSecurityManager final : public IServiceProvider,
                                       public IInternetSecurityManager,
                                       public CForwardingClientSite,
                                       public IDispatch {
public:
    // The host's IOleClientSite (to which the site calls go) and IServiceProvider are taken from it.
    CInternetSecurityManager(IUnknown* host, CLocalPageScope scope);
    CInternetSecurityManager(const CInternetSecurityManager&) = delete;
    CInternetSecurityManager& operator=(const CInternetSecurityManager&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override;

    // IInternetSecurityManager
    STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite*) override;
    STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite**) override;
    STDMETHODIMP MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD) override;
    STDMETHODIMP GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) override;
    STDMETHODIMP ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD policySize, BYTE*, DWORD, DWORD,
                                  DWORD) override;
    STDMETHODIMP QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) override;
    STDMETHODIMP SetZoneMapping(DWORD, LPCWSTR, DWORD) override;
    STDMETHODIMP GetZoneMappings(DWORD, IEnumString**, DWORD) override;

    // IDispatch: ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT*) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    ~CInternetSecurityManager() = default;

    Cxx::GUI::CReferenceCount m_references;
    const CLocalPageScope m_scope;
    Cxx::Core::CComPtr<IUnknown> m_host;
    Cxx::Core::CComPtr<IServiceProvider> m_hostServices;
};

} // namespace BrowserControl
