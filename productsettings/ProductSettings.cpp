#include "productsettings/ProductSettings.h"

#include "productlist/ProductList.h"
#include "productsettings/HBSettings.h"
#include "productsettings/KTSettings.h"
#include "productsettings/MVSettings.h"
#include "productsettings/SettingsText.h"
#include "productsettings/ZLMSettings.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <cwchar>
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
    // Read only, so a file the user may not write is read all the same; in
    // binary mode, since text mode ends a UTF-16 text at its first 0x1A byte
    // and drops the 0x0D of a 0D 0A byte pair.
    auto stream = std::make_shared<std::wfstream>((folder + L"\\" + file).c_str(), std::ios::in | std::ios::binary);
    if (stream->is_open() && stream->good()) {
        files.emplace(setName, std::move(stream));
    }
}

// The deepest archive of the products nests seven elements. The parser
// descends one call per element, so a far deeper file would exhaust the stack
// before it could be refused.
const std::size_t maxArchiveDepth = 64;

// Skips to the '>' that ends the tag at start, past quoted attribute values.
std::size_t TagEnd(const std::wstring& xml, std::size_t start)
{
    wchar_t quote = 0;
    for (std::size_t i = start; i < xml.size(); ++i) {
        if (quote != 0) {
            quote = xml[i] == quote ? 0 : quote;
        } else if (xml[i] == L'"' || xml[i] == L'\'') {
            quote = xml[i];
        } else if (xml[i] == L'>') {
            return i;
        }
    }
    return std::wstring::npos;
}

// Counts open elements as the parser would meet them; comments, sections and
// declarations open none.
bool NestedWithin(const std::wstring& xml, std::size_t limit)
{
    std::size_t depth = 0;
    for (std::size_t at = xml.find(L'<'); at != std::wstring::npos; at = xml.find(L'<', at)) {
        const auto skipPast = [&](const wchar_t* end) {
            const std::size_t found = xml.find(end, at);
            return found == std::wstring::npos ? found : found + std::wcslen(end);
        };
        if (xml.compare(at, 4, L"<!--") == 0) {
            at = skipPast(L"-->");
        } else if (xml.compare(at, 9, L"<![CDATA[") == 0) {
            at = skipPast(L"]]>");
        } else if (xml.compare(at, 2, L"<?") == 0) {
            at = skipPast(L"?>");
        } else if (xml.compare(at, 2, L"<!") == 0) {
            at = skipPast(L">");
        } else if (xml.compare(at, 2, L"</") == 0) {
            depth -= depth > 0 ? 1 : 0;
            at = skipPast(L">");
        } else {
            const std::size_t end = TagEnd(xml, at);
            if (end == std::wstring::npos) {
                break;
            }
            if (xml[end - 1] != L'/' && ++depth > limit) {
                return false;
            }
            at = end + 1;
        }
    }
    return true;
}

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
    SettingsFiles files = factory->GetSettingsFiles();
    const auto file = files.find(setName);
    if (file == files.end()) {
        return LR_NoSuchSet;
    }
    if (!read(*file->second)) {
        return LR_Unreadable;
    }
    for (const auto& [name, value] : fresh) {
        target[name] = value;
    }
    return LR_Loaded;
}

int LoadXmlSettingsSet(ISettingsFactory* factory, const std::wstring& setName, const std::wstring& rootPath,
                       CMappedParametersSet& fresh, Parameters& target)
{
    const auto read = [&](std::wfstream& file) {
        std::wstring text;
        if (!ReadSettingsText(file, text) || !NestedWithin(text, maxArchiveDepth)) {
            return false;
        }
        try {
            std::wistringstream stream(text);
            boost::property_tree::wptree tree;
            boost::property_tree::read_xml(stream, tree);
            fresh.Map(tree.get_child(boost::property_tree::wptree::path_type(rootPath, L'.')));
        } catch (const std::exception&) {
            return false;
        }
        return true;
    };
    return LoadSettingsSet(factory, setName, read, fresh.GetParameters(), target);
}

} // namespace ProductSettings
