#include "productsettings/tests/SiblingSupport.h"

#include "cxx/core/TextUtils.h"
#include "productlist/Catalogue.h"
#include "productlist/ProductList.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace ProductSettings::Testing {

using Cxx::Core::Utils::Utf8ToWideString;

std::string TestData(const std::string& name)
{
    std::wstring path = L"Z:" + Utf8ToWideString(KV_SETTINGS_TEST_DATA "/" + name);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    const std::string bytes = ProductList::Testing::ReadBytes(path);
    if (bytes.empty()) {
        throw std::runtime_error("no test data " + name);
    }
    return bytes;
}

std::string Encode(const std::string& utf8, EEncoding encoding)
{
    if (encoding == EEncoding::Utf8 || encoding == EEncoding::Utf8Bom) {
        return (encoding == EEncoding::Utf8Bom ? "\xEF\xBB\xBF" : "") + utf8;
    }
    std::string bytes;
    for (const wchar_t c : (encoding == EEncoding::Latin1 ? L"" : L"\xFEFF") + Utf8ToWideString(utf8)) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        if (encoding == EEncoding::Utf16BeBom) {
            bytes += {high, low};
        } else if (encoding == EEncoding::Utf16LeBom) {
            bytes += {low, high};
        } else {
            bytes += low;
        }
    }
    return bytes;
}

CInstalledSibling::CInstalledSibling(const std::string& code) : m_product(*FindSettingsProduct(code))
{
    const auto catalogue = ProductList::LoadCatalogue(L"", "", L"");
    for (const auto& [unused, entry] : catalogue.get_child("Applications")) {
        if (entry.get<std::string>("ProductCode") != code) {
            continue;
        }
        std::string exe, key, value;
        if (const auto location = entry.get_child_optional("MainDirLocation")) {
            ProductList::GetEntryText(*location, "MainDirKeyName", key);
            ProductList::GetEntryText(*location, "MainDirValueName", value);
            ProductList::GetEntryText(*location, "MainExecutable", exe);
            AddKey(Utf8ToWideString(key), Utf8ToWideString(value), m_install.Path());
        } else if (const auto location = entry.get_child_optional("UninstallLocation")) {
            ProductList::GetEntryText(*location, "UninstallKeyName", key);
            ProductList::GetEntryText(*location, "MainExecutable", exe);
            const std::wstring path = ProductList::uninstallKeyPrefix + Utf8ToWideString(key);
            AddKey(path, L"UninstallString", L"\"" + (m_install / L"uninst.exe") + L"\"");
            m_keys.back()->SetText(L"InstallLocation", m_install.Path());
        } else if (const auto location = entry.get_child_optional("PathLocation")) {
            ProductList::GetEntryText(*location, "Path", exe);
            AddKey(ProductList::appPathsKeyPrefix + Utf8ToWideString(exe), L"", m_install / Utf8ToWideString(exe));
        }
        // Any file serves as the installed program here.
        ProductList::Testing::WriteBytes(m_install / Utf8ToWideString(exe), "MZ");
    }
    ProductList::ProductInfo info;
    if (!ProductList::CProductList(L"", "").GetProductInfo(code, info) || info.programDataPath.empty()) {
        throw std::runtime_error("cannot install " + code);
    }
    m_programData = info.programDataPath;
    m_userData = info.userDataPath;
    std::filesystem::remove_all(m_programData);
    std::filesystem::create_directories(m_userData);
}

CInstalledSibling::~CInstalledSibling()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_programData, ignored);
}

// The catalogue looks in the 64-bit view first, from a 32-bit program as well
// as from a 64-bit one (which sees no other).
void CInstalledSibling::AddKey(const std::wstring& path, const std::wstring& name, const std::wstring& value)
{
    m_keys.push_back(std::make_unique<ProductList::Testing::CMachineKey>(path, ProductList::ERegistryView::View64));
    m_keys.back()->SetText(name, value);
}

const Parameters& ParametersOf(const IParametersSet& set)
{
    if (const auto* settings = dynamic_cast<const CParametersSetImpl<IProductSettings>*>(&set)) {
        return settings->GetParameters();
    }
    return dynamic_cast<const CParametersSetImpl<IParametersSet>&>(set).GetParameters();
}

namespace {

bool SameSet(const ParametersSetPtr& left, const ParametersSetPtr& right)
{
    const auto& l = ParametersOf(*left);
    const auto& r = ParametersOf(*right);
    return std::equal(l.begin(), l.end(), r.begin(), r.end(),
                      [](const auto& a, const auto& b) { return a.first == b.first && SameValue(a.second, b.second); });
}

// Values of one of these types compared with ==; a collection is equal only to itself.
template <typename... Types>
bool SamePlainValue(const boost::any& left, const boost::any& right)
{
    bool same = false;
    ((left.type() == typeid(Types) &&
      (same = boost::any_cast<const Types&>(left) == boost::any_cast<const Types&>(right), true)) ||
     ...);
    return same;
}

} // namespace

bool SameValue(const boost::any& left, const boost::any& right)
{
    if (left.type() != right.type()) {
        return false;
    }
    if (const auto* l = boost::any_cast<ParametersSetPtr>(&left)) {
        const auto& r = boost::any_cast<const ParametersSetPtr&>(right);
        return *l == r || (*l && r && SameSet(*l, r));
    }
    if (const auto* l = boost::any_cast<boost::shared_ptr<ParametersSetList>>(&left)) {
        const auto& r = boost::any_cast<const boost::shared_ptr<ParametersSetList>&>(right);
        return *l == r || (*l && r && std::equal((*l)->begin(), (*l)->end(), r->begin(), r->end(), SameSet));
    }
    return SamePlainValue<bool, short, int, long, unsigned, long long, std::wstring,
                          boost::shared_ptr<ParametersSetCollection>>(left, right);
}

} // namespace ProductSettings::Testing
