#include "productsettings/ProductSettings.h"

#include "productlist/ProductList.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/xml_parser.hpp>


namespace ProductSettings {

const std::wstring userSettingsRoot = L"boost_serialization.Settings";
const std::wstring commonSettingsRoot = L"boost_serialization.CommonSettings";

namespace {

// In the order the codes are compared.
const SettingsProduct siblingProducts[] = {
    {"NQ", L"KT_CURRENT_USER_SETTINGS", L"AppSettings.xml", L"KT_COMMON_SETTINGS", L"CommonSettings.xml", nullptr},
    {"QXYB", L"HB_CURRENT_USER_SETTINGS", L"settings.xml", L"HB_COMMON_SETTINGS", L"common_settings.xml", nullptr},
    {"TRM", L"ZLM_CURRENT_USER_SETTINGS", L"Zelmora.ini", L"ZLM_COMMON_SETTINGS", L"Zelmora.ini", nullptr},
    {"BL", L"MV_CURRENT_USER_SETTINGS", L"Settings.xml", L"MV_COMMON_SETTINGS", L"CommonSettings.xml", nullptr},
};

void OpenSet(SettingsFiles& files, const std::wstring& setName, const std::wstring& folder, const std::wstring& file)
{
    // Without its folder the file cannot be named: "\" + file would be the drive's root.
    if (folder.empty()) {
        return;
    }
    // Read only, so a file the user may not write is read all the same.
    auto stream = std::make_shared<std::wfstream>((folder + L"\\" + file).c_str(), std::ios::in);
    if (stream->is_open() && stream->good()) {
        files.emplace(setName, std::move(stream));
    }
}

} // namespace

const SettingsProduct* FindSettingsProduct(const std::string& code)
{
    for (const auto& product : siblingProducts) {
        if (boost::algorithm::iequals(code, product.code)) {
            return &product;
        }
    }
    return nullptr;
}

std::unique_ptr<IProductSettings> CreateProductSettings(const std::string& code)
{
    const SettingsProduct* product = FindSettingsProduct(code);
    if (product == nullptr || product->create == nullptr) {
        return nullptr;
    }
    return product->create(code);
}

CSettingsFactory::CSettingsFactory(const SettingsProduct& product, std::string productCode, std::wstring listFile)
    : m_product(product), m_productCode(std::move(productCode)), m_listFile(std::move(listFile))
{
}

SettingsFiles CSettingsFactory::GetSettingsFiles()
{
    SettingsFiles files;
    try {
        ProductList::CProductList catalogue(m_listFile, "");
        ProductList::ProductInfo info;
        if (!catalogue.GetProductInfo(m_productCode, info)) {
            return files;
        }
        OpenSet(files, m_product.userSetName, info.userDataPath, m_product.userFile);
        OpenSet(files, m_product.commonSetName, info.programDataPath, m_product.commonFile);
    } catch (const std::exception&) {
        // Files that cannot be opened are simply not there.
        files.clear();
    }
    return files;
}

int LoadXmlSettingsSet(ISettingsFactory* factory, const std::wstring& setName, const std::wstring& rootPath,
                       CMappedParametersSet& fresh, Parameters& target)
{
    if (factory == nullptr) {
        return LR_NoFactory;
    }
    SettingsFiles files = factory->GetSettingsFiles();
    const auto file = files.find(setName);
    if (file == files.end()) {
        return LR_NoSuchSet;
    }
    try {
        boost::property_tree::wptree tree;
        boost::property_tree::read_xml(*file->second, tree);
        fresh.Map(tree.get_child(boost::property_tree::wptree::path_type(rootPath, L'.')));
    } catch (const std::exception&) {
        return LR_Unreadable;
    }
    for (const auto& [name, value] : fresh.GetParameters()) {
        target[name] = value;
    }
    return LR_Loaded;
}

} // namespace ProductSettings
