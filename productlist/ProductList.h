#pragma once

#include "productlist/IProductList.h"
#include "productlist/Location.h"

#include <boost/property_tree/ptree.hpp>

#include <optional>
#include <string>
#include <vector>

namespace ProductList {

class CProductList : public IProductList {
public:
    // listFile may be empty; builtInKey selects the built-in list (empty: the
    // family's). Never throws: without a readable source the catalogue is empty.
    CProductList(std::wstring listFile, std::string builtInKey);

    bool IsProductInstalled(std::string code) override;
    void GetProducts(std::vector<ProductInfo>& products, bool supportedOnly) override;
    void CollectProducts(std::map<std::string, ProductInfo>& products) override;
    bool LaunchProduct(const std::string& code, const std::wstring& parameters) override;
    bool IsSupportedVersion(const std::string& code) override;
    bool GetProductInfo(const std::string& code, ProductInfo& info) override;
    std::wstring GetInstallSource(const std::string& code) override;

private:
    struct FoundLocation {
        const boost::property_tree::ptree* entry;
        LocationInfo info;
    };

    std::vector<const boost::property_tree::ptree*> FindEntries(const std::string& code) const;
    std::optional<FoundLocation> FindLocation(const std::string& code) const;
    bool ReadProductInfo(const boost::property_tree::ptree& entry, ProductInfo& info) const;

    const boost::property_tree::ptree m_catalogue;
};

// "a.b.c.d" from the fixed file version of a file's version resource; empty
// when the file has none.
std::string GetFileVersionText(const std::wstring& file);

} // namespace ProductList
