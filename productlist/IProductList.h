#pragma once

#include "productlist/ProductInfo.h"

#include <map>
#include <string>
#include <vector>

namespace ProductList {

// The catalogue of the product family. Every answer is worked out afresh from
// the registry and the file system; no operation throws.
class IProductList {
public:
    virtual ~IProductList() = default;

    virtual bool IsProductInstalled(std::string code) = 0;
    // Appends the installed products (only supported ones when asked).
    virtual void GetProducts(std::vector<ProductInfo>& products, bool supportedOnly) = 0;
    // Adds the installed products by code; a code already present keeps its record.
    virtual void CollectProducts(std::map<std::string, ProductInfo>& products) = 0;
    // Starts the product's main executable by its full path.
    virtual bool LaunchProduct(const std::string& code, const std::wstring& parameters) = 0;
    // The main executable's file version against "MinimumSupportedVersion".
    virtual bool IsSupportedVersion(const std::string& code) = 0;
    // Leaves info unchanged when the product is not found.
    virtual bool GetProductInfo(const std::string& code, ProductInfo& info) = 0;
    // "OSOURCE" of the product (or, for an empty code, of the first product that has one).
    virtual std::wstring GetInstallSource(const std::string& code) = 0;
};

} // namespace ProductList
