#include "browsercontrol/js/System.h"

#include "browsercontrol/js/VariantArguments.h"
#include "cxx/core/TextUtils.h"

namespace BrowserControl::JS {

namespace {

using ProductList::ProductInfo;

std::wstring InstallationPath(const ProductInfo& product)
{
    std::wstring path = product.installDir;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') {
        path += L'\\';
    }
    return path;
}

} // namespace

CSystem::CSystem(std::shared_ptr<ProductList::IProductList> products,
                 std::shared_ptr<Cxx::Misc::IOpenInDefaultBrowser> opener)
    : m_products(std::move(products)), m_opener(std::move(opener))
{
    AddMethod(L"isInstalled", &CSystem::isInstalled);
    AddMethod(L"getMainExecutablePath", &CSystem::getMainExecutablePath);
    AddMethod(L"getInstallationPath", &CSystem::getInstallationPath);
    AddMethod(L"openInDefaultBrowser", &CSystem::openInDefaultBrowser);
}

template <typename TAnswer>
HRESULT CSystem::Ask(DISPPARAMS* params, VARIANT* result, TAnswer answer)
{
    if (!m_products) {
        return E_FAIL;
    }
    std::wstring code;
    if (ArgumentCount(params) != 1 || !VariantToString(params->rgvarg[0], code) || !result) {
        return E_INVALIDARG;
    }
    ProductInfo product;
    const bool found = m_products->GetProductInfo(Cxx::Core::Utils::WideToCodePage(code, CP_THREAD_ACP), product);
    return CVariant::String(found ? answer(product) : std::wstring()).CopyTo(result);
}

HRESULT CSystem::isInstalled(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Ask(params, result,
               [](const ProductInfo& product) { return Cxx::Core::Utils::CodePageToWide(product.version, CP_ACP); });
}

HRESULT CSystem::getMainExecutablePath(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Ask(params, result, [](const ProductInfo& product) {
        if (product.installDir.empty() || product.mainExecutable.empty()) {
            return std::wstring();
        }
        return InstallationPath(product) + Cxx::Core::Utils::Utf8ToWideString(product.mainExecutable);
    });
}

HRESULT CSystem::getInstallationPath(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Ask(params, result, &InstallationPath);
}

HRESULT CSystem::openInDefaultBrowser(DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    if (!m_opener) {
        return E_FAIL;
    }
    std::wstring url;
    if (ArgumentCount(params) != 1 || !VariantToString(params->rgvarg[0], url)) {
        return E_INVALIDARG;
    }
    // The opener itself refuses anything but web links.
    m_opener->Open(url, Cxx::Misc::CPresetParams());
    return S_OK;
}

} // namespace BrowserControl::JS
