#pragma once

#include "browsercontrol/js/CustomObject.h"
#include "cxx/misc/OpenInDefaultBrowser.h"
#include "productlist/IProductList.h"

#include <memory>
#include <string>

namespace BrowserControl::JS {

// The script object system: asks the product catalogue about installed products by code and
// opens web links in the user's browser. Either collaborator may be null; a method that needs
// a missing one answers E_FAIL.
class CSystem final : public custom_object<CSystem> {
public:
    CSystem(std::shared_ptr<ProductList::IProductList> products,
            std::shared_ptr<Cxx::Misc::IOpenInDefaultBrowser> opener);

    std::wstring GetName() const override { return L"system"; }

    // The installed version text ("" when not installed), not a boolean.
    HRESULT isInstalled(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // The installation path followed by the main executable's name; "" when either is unknown.
    HRESULT getMainExecutablePath(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // The installation folder with a closing (back)slash; "" when unknown.
    HRESULT getInstallationPath(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // Hands the URL to the opener, which takes http and https links only, so that a page
    // cannot open local files or programs.
    HRESULT openInDefaultBrowser(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    // Looks the product code argument up and answers the text made from its record (empty
    // when the product is not found).
    template <typename TAnswer>
    HRESULT Ask(DISPPARAMS* params, VARIANT* result, TAnswer answer);

    const std::shared_ptr<ProductList::IProductList> m_products;
    const std::shared_ptr<Cxx::Misc::IOpenInDefaultBrowser> m_opener;
};

} // namespace BrowserControl::JS
