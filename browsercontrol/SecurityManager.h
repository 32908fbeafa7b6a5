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

// What belongs to a dialog's own page: the local files inside the folder of that page (its
// path or file: URL). Every other URL, and everything when the page is no local file, is foreign.
class CLocalPageScope {
public:
    explicit CLocalPageScope(const std::wstring& pageUrl);

    // A file: URL or an absolute path that spells the folder (long, short or as given) and then
    // a plain relative name of a file in it or below it. Never throws, so the policy and the
    // navigation checks built on it fail closed.
    bool Contains(const wchar_t* url) const noexcept;
private:
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
