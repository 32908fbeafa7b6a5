#include "browsercontrol/js/Engine.h"

#include "browsercontrol/js/VariantArguments.h"

namespace BrowserControl::JS {

CEngine::CEngine(std::wstring version) : m_version(std::move(version))
{
    AddMethod(L"version", &CEngine::version);
}

HRESULT CEngine::version(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (ArgumentCount(params) != 0 || !result) {
        return E_INVALIDARG;
    }
    if (m_version.empty()) {
        return E_FAIL;
    }
    return CVariant::String(m_version).CopyTo(result);
}

} // namespace BrowserControl::JS
