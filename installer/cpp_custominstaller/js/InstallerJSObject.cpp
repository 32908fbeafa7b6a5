#include "installer/cpp_custominstaller/js/InstallerJSObject.h"

#include "appmetrics/AppMetrics.h"
#include "browsercontrol/js/VariantArguments.h"

#include <new>

namespace CustomInstaller::Core::JS {

using BrowserControl::JS::ArgumentCount;
using BrowserControl::JS::CVariant;

CInstallerJSObject::CInstallerJSObject(std::weak_ptr<IInstallManager> manager, CommandLine::CInstallerOptions options,
                                       bool noMarshal)
    : m_options(std::move(options)), m_noMarshal(noMarshal), m_manager(std::move(manager))
{
    AddMethod(L"start", &CInstallerJSObject::start);
    AddMethod(L"cancel", &CInstallerJSObject::cancel);
    AddMethod(L"getDetails", &CInstallerJSObject::getDetails);
}

HRESULT CInstallerJSObject::start(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH || !params->rgvarg[0].pdispVal ||
        !result) {
        return E_INVALIDARG;
    }
    bool started = false;
    // A script still running after the page went would start a run whose callback nobody detaches.
    if (const std::shared_ptr<IInstallManager> manager = m_detached ? nullptr : m_manager.lock()) {
        const auto callback =
            CInstallProgressJSCallback::Create(params->rgvarg[0].pdispVal, m_noMarshal, &AppMetrics::CreateTiming);
        if (callback) {
            std::erase_if(m_callbacks, [](const auto& earlier) { return earlier.expired(); });
            m_callbacks.push_back(callback);
            started = manager->Start(callback);
        }
    }
    return CVariant::Bool(started).CopyTo(result);
}

HRESULT CInstallerJSObject::cancel(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!params || params->cArgs != 0 || !result) {
        return E_INVALIDARG;
    }
    const std::shared_ptr<IInstallManager> manager = m_manager.lock();
    return CVariant::Bool(manager && manager->Cancel()).CopyTo(result);
}

HRESULT CInstallerJSObject::getDetails(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    try {
        const Cxx::Core::CComPtr<IDispatch> details(new CInstallationDetailsJSObject(m_options));
        return CVariant::Dispatch(details.Get()).CopyTo(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CInstallerJSObject::DetachCallbacks()
{
    m_detached = true;
    for (const auto& handedOut : m_callbacks) {
        if (const auto callback = handedOut.lock()) {
            callback->Detach();
        }
    }
    m_callbacks.clear();
}

CInstallationDetailsJSObject::CInstallationDetailsJSObject(CommandLine::CInstallerOptions options)
    : m_options(std::move(options))
{
    AddMethod(L"getBuildId", &CInstallationDetailsJSObject::getBuildId);
    AddMethod(L"getOSource", &CInstallationDetailsJSObject::getOSource);
    AddMethod(L"getTracking", &CInstallationDetailsJSObject::getTracking);
    AddMethod(L"getVersion", &CInstallationDetailsJSObject::getVersion);
    AddMethod(L"getLanguage", &CInstallationDetailsJSObject::getLanguage);
    AddMethod(L"getUID", &CInstallationDetailsJSObject::getUID);
}

HRESULT CInstallationDetailsJSObject::Answer(DISPPARAMS* params, VARIANT* result, const std::wstring& text)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    try {
        return CVariant::String(text).CopyTo(result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CInstallationDetailsJSObject::getBuildId(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Answer(params, result, m_options.GetBuildId());
}

HRESULT CInstallationDetailsJSObject::getOSource(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Answer(params, result, m_options.GetOSource());
}

HRESULT CInstallationDetailsJSObject::getTracking(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Answer(params, result, m_options.GetTracking());
}

HRESULT CInstallationDetailsJSObject::getVersion(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Answer(params, result, m_options.GetVersion());
}

HRESULT CInstallationDetailsJSObject::getLanguage(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Answer(params, result, m_options.GetLanguage());
}

HRESULT CInstallationDetailsJSObject::getUID(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    return E_NOTIMPL;
}

} // namespace CustomInstaller::Core::JS
