#include "productsettings/tests/SiblingSupport.h"

#include "cxx/core/TextUtils.h"
#include "productlist/Catalogue.h"
#include "productlist/ProductList.h"

#include <filesystem>
#include <stdexcept>

namespace ProductSettings::Testing {

using Cxx::Core::Utils::Utf8ToWideString;

std::string Encode(const std::wstring& text, EEncoding encoding)
{
    if (encoding == EEncoding::Utf8 || encoding == EEncoding::Utf8Bom) {
        return (encoding == EEncoding::Utf8Bom ? "\xEF\xBB\xBF" : "") + Cxx::Core::Utils::WideToUtf8String(text);
    }
    std::string bytes;
    for (const wchar_t c : (encoding == EEncoding::Latin1 ? L"" : L"\xFEFF") + text) {
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

} // namespace ProductSettings::Testing
