#pragma once

#include "productsettings/ProductSettings.h"
#include "productsettings/SettingsText.h"

#include <boost/property_tree/ptree.hpp>

#include <span>
#include <variant>

namespace ProductSettings {

enum EIniMode : int {
    IM_Load = 0,
    IM_Save = 1,
    IM_Defaults = 2,
};

// One key of an INI set; the parameter is a text or a boolean, as its default.
struct IniRow {
    const wchar_t* key; // "section.key"
    const char* name;
    std::variant<bool, const wchar_t*> defaultValue;
};

// A set kept as keys of one section of an INI file.
class CIniParametersSet : public CParametersSetImpl<IParametersSet> {
public:
    using Tree = boost::property_tree::wptree;

    bool Initialize() override;

    // The mapper. IM_Load takes the set's keys from tree (a key that is missing
    // or does not convert is left out), IM_Save puts the parameters held into
    // tree (names not held are left out), IM_Defaults sets every default.
    bool SerializeIni(Tree& tree, EIniMode mode);

    // Loads the set from an INI file the factory opened; false when it does not parse.
    bool LoadIni(std::wfstream& file);

    // Writes the parameters held into their keys of the INI file at path, in
    // place of the old values (a missing key joins its section). Every other
    // byte stays, and so do the file's encoding (plain ASCII takes the
    // products' one-byte form) and attributes. False, and the file unchanged,
    // when it does not parse, ends in NULs, is read-only, cannot take a value
    // so that a load reads it back the same (a line break, blanks at an end, a
    // letter its encoding lacks) or cannot be replaced (by swap).
    bool WriteOwnKeys(const std::wstring& path, SettingsFileSwap swap = SwapSettingsFile);

protected:
    explicit CIniParametersSet(std::span<const IniRow> rows) : m_rows(rows) {}

private:
    const std::span<const IniRow> m_rows;
};

} // namespace ProductSettings

// The sets of the product "TRM", both in a file Zelmora.ini: the common set in
// its section "Shared", the current-user set in its section "Common".

class CZLMCommonSettings : public ProductSettings::CIniParametersSet {
public:
    CZLMCommonSettings();
};

class CZLMCurrentUserSettings : public ProductSettings::CIniParametersSet {
public:
    CZLMCurrentUserSettings();
};

namespace ProductSettings {

extern const SettingsProduct zlmProduct;

using CZLMSettingsFactory = CProductSettingsFactory<zlmProduct>;

class CZLMSettings : public CParametersSetImpl<IProductSettings> {
public:
    // A null factory makes every load answer LR_NoFactory.
    explicit CZLMSettings(std::unique_ptr<CZLMSettingsFactory> factory) : m_factory(std::move(factory)) {}

    bool Initialize() override { return Reset(); }
    bool Reset() override;
    int LoadCurrentUserSettings() override;
    int LoadCommonSettings() override;

private:
    int LoadSet(const std::wstring& setName, CIniParametersSet& fresh);

    const std::unique_ptr<CZLMSettingsFactory> m_factory;
};

} // namespace ProductSettings
