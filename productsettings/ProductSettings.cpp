#include "productsettings/ProductSettings.h"

#include "productlist/ProductList.h"
#include "productsettings/ArchiveCheck.h"
#include "productsettings/HBSettings.h"
#include "productsettings/KTSettings.h"
#include "productsettings/MVSettings.h"
#include "productsettings/SettingsText.h"
#include "productsettings/ZLMSettings.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <sstream>

namespace ProductSettings {

const std::wstring userSettingsRoot = L"boost_serialization.Settings";
const std::wstring commonSettingsRoot = L"boost_serialization.CommonSettings";

namespace {

// In the order the codes are compared.
const SettingsProduct* const siblingProducts[] = {&ktProduct, &hbProduct, &zlmProduct, &mvProduct};

void OpenSet(SettingsFiles& files, const std::wstring& setName, const std::wstring& folder, const std::wstring& file)
{
    // Without its folder the file cannot be named: "\" + file would be the drive's root.
    if (folder.empty()) {
        return;
    }
    const std::wstring path = folder + L"\\" + file;
    RestoreSettingsBackup(path);
    // Read only, so a file the user may not write is read all the same; in
    // binary mode, since text mode ends a UTF-16 text at its first 0x1A byte
    // and drops the 0x0D of a 0D 0A byte pair.
    auto stream = std::make_shared<std::wfstream>(path.c_str(), std::ios::in | std::ios::binary);
    if (stream->is_open() && stream->good()) {
        files.emplace(setName, std::move(stream));
    }
}

// The deepest archive of the products nests seven elements.
const std::size_t maxArchiveDepth = 64;

} // namespace

const SettingsProduct* FindSettingsProduct(const std::string& code)
{
    for (const SettingsProduct* product : siblingProducts) {
        if (boost::algorithm::iequals(code, product->code)) {
            return product;
        }
    }
    return nullptr;
}

std::unique_ptr<IProductSettings> CreateProductSettings(const std::string& code)
{
    const SettingsProduct* product = FindSettingsProduct(code);
    return product == nullptr ? nullptr : product->create(code);
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

int LoadSettingsSet(ISettingsFactory* factory, const std::wstring& setName,
                    const std::function<bool(std::wfstream&)>& read, const Parameters& fresh, Parameters& target)
{
    if (factory == nullptr) {
        return LR_NoFactory;
    }
    try {
        SettingsFiles files = factory->GetSettingsFiles();
        const auto file = files.find(setName);
        if (file == files.end()) {
            return LR_NoSuchSet;
        }
        if (!read(*file->second)) {
            return LR_Unreadable;
        }
        // Merged into a copy, so that running out of memory halfway changes nothing.
        Parameters merged = target;
        for (const auto& [name, value] : fresh) {
            merged[name] = value;
        }
        target.swap(merged);
    } catch (const std::exception&) {
        // A read error of the file or a lack of memory: the set does not read.
        return LR_Unreadable;
    }
    return LR_Loaded;
}

int LoadXmlSettingsSet(ISettingsFactory* factory, const std::wstring& setName, const std::wstring& rootPath,
                       CMappedParametersSet& fresh, Parameters& target)
{
    const auto read = [&](std::wfstream& file) {
        std::wstring text;
        if (!ReadSettingsText(file, text) || !IsWellFormedArchive(text, maxArchiveDepth)) {
            return false;
        }
        std::wistringstream stream(text);
        boost::property_tree::wptree tree;
        boost::property_tree::read_xml(stream, tree);
        fresh.Map(tree.get_child(boost::property_tree::wptree::path_type(rootPath, L'.')));
        return true;
    };
    return LoadSettingsSet(factory, setName, read, fresh.GetParameters(), target);
}

} // namespace ProductSettings
