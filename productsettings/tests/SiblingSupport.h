#pragma once

#include "productlist/tests/TestSupport.h"
#include "productsettings/ProductSettings.h"

#include <memory>
#include <string>
#include <vector>

namespace ProductSettings::Testing {

enum class EEncoding { Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom, Latin1 };
// The bytes of text in an encoding (Latin1 only for text that fits it).
std::string Encode(const std::wstring& text, EEncoding encoding);

// A sibling product installed where the family's built-in catalogue looks
// for it, with its two data folders; all of it goes again at the end.
class CInstalledSibling {
public:
    explicit CInstalledSibling(const std::string& code);
    ~CInstalledSibling();
    CInstalledSibling(const CInstalledSibling&) = delete;
    CInstalledSibling& operator=(const CInstalledSibling&) = delete;

    // The product's own settings file names.
    std::wstring UserFile() const { return m_userData + L"\\" + m_product.userFile; }
    std::wstring CommonFile() const { return m_programData + L"\\" + m_product.commonFile; }
    void PlaceUserFile(const std::string& bytes) const { ProductList::Testing::WriteBytes(UserFile(), bytes); }
    void PlaceCommonFile(const std::string& bytes) const { ProductList::Testing::WriteBytes(CommonFile(), bytes); }

private:
    void AddKey(const std::wstring& path, const std::wstring& name, const std::wstring& value);

    const SettingsProduct& m_product;
    ProductList::Testing::CTempFolder m_install;
    std::vector<std::unique_ptr<ProductList::Testing::CMachineKey>> m_keys;
    std::wstring m_programData;
    std::wstring m_userData;
};

// The parameters a settings object or a nested set holds.
const Parameters& ParametersOf(const IParametersSet& set);

} // namespace ProductSettings::Testing
