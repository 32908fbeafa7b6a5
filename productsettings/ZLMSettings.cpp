#include "productsettings/ZLMSettings.h"

#include "productsettings/SettingsText.h"

#include <boost/property_tree/ini_parser.hpp>

#include <sstream>
#include <type_traits>

namespace ProductSettings {

const SettingsProduct zlmProduct = {"TRM",
                                    L"ZLM_CURRENT_USER_SETTINGS",
                                    L"Zelmora.ini",
                                    L"ZLM_COMMON_SETTINGS",
                                    L"Zelmora.ini",
                                    &MakeProductSettings<CZLMSettings, CZLMSettingsFactory>};

namespace {

const IniRow commonRows[] = {
    {L"Shared.buildId", "BuildID", L"0"},
    {L"Shared.trackId", "TrackID", L""},
    {L"Shared.OldUid", "OldUID", L""},
};

const IniRow currentUserRows[] = {
    {L"Common.language", "CurrentLanguageFile", L"English"},
    {L"Common.splashShow", "ShowSplash", true},
    {L"Common.createSystemRestorePoints", "createSystemRestorePoints", true},
    {L"Common.showScanInProgressDialog", "showScanInProgressDialog", true},
    {L"Common.showOptimizeConfirmDialog", "showOptimizeConfirmDialog", true},
    {L"Common.enableScheduledTasks", "enableScheduledTasks", true},
    {L"Common.enableCheckUpdatesOnStartup", "enableCheckUpdatesOnStartup", true},
    {L"Common.allScannersStarts", "allScannersStarts", false},
    {L"Common.enableTracking", "EnableTracking", true},
    {L"Common.trackingUid", "TrackingUID", L""},
    {L"Common.allowOffers", "ShowServerNotifications", true},
};

bool ParseIni(const std::wstring& text, CIniParametersSet::Tree& tree)
{
    try {
        std::wistringstream stream(text);
        boost::property_tree::read_ini(stream, tree);
    } catch (const boost::property_tree::ptree_error&) {
        return false;
    }
    return true;
}

} // namespace

bool CIniParametersSet::Initialize()
{
    Tree empty;
    return SerializeIni(empty, IM_Defaults);
}

bool CIniParametersSet::SerializeIni(Tree& tree, EIniMode mode)
{
    for (const IniRow& row : m_rows) {
        std::visit(
            [&](auto defaultValue) {
                using Value = std::conditional_t<std::is_same_v<decltype(defaultValue), bool>, bool, std::wstring>;
                const Tree::path_type path(row.key, L'.');
                if (mode == IM_Load) {
                    if (const auto value = tree.get_optional<Value>(path)) {
                        parameters[row.name] = *value;
                    }
                } else if (mode == IM_Save) {
                    const auto held = parameters.find(row.name);
                    if (held != parameters.end()) {
                        if (const Value* value = boost::any_cast<Value>(&held->second)) {
                            tree.put(path, *value);
                        }
                    }
                } else if (mode == IM_Defaults) {
                    parameters[row.name] = Value(defaultValue);
                }
            },
            row.defaultValue);
    }
    return true;
}

bool CIniParametersSet::LoadIni(std::wfstream& file)
{
    std::wstring text;
    Tree tree;
    return ReadSettingsText(file, text) && ParseIni(text, tree) && SerializeIni(tree, IM_Load);
}

bool CIniParametersSet::SaveIni(const std::wstring& path)
{
    std::wstring text;
    Tree tree;
    if (!ReadSettingsText(path, text) || !ParseIni(text, tree) || !SerializeIni(tree, IM_Save)) {
        return false;
    }
    std::wostringstream updated;
    try {
        boost::property_tree::write_ini(updated, tree);
    } catch (const boost::property_tree::ptree_error&) {
        return false;
    }
    return ReplaceSettingsFile(path, updated.str());
}

bool CZLMSettings::Reset()
{
    parameters.clear();
    InsertDefaults<CZLMCommonSettings>(parameters);
    InsertDefaults<CZLMCurrentUserSettings>(parameters);
    return true;
}

int CZLMSettings::LoadCurrentUserSettings()
{
    CZLMCurrentUserSettings fresh;
    return LoadSet(zlmProduct.userSetName, fresh);
}

int CZLMSettings::LoadCommonSettings()
{
    CZLMCommonSettings fresh;
    return LoadSet(zlmProduct.commonSetName, fresh);
}

int CZLMSettings::LoadSet(const std::wstring& setName, CIniParametersSet& fresh)
{
    return LoadSettingsSet(
        m_factory.get(), setName, [&](std::wfstream& file) { return fresh.LoadIni(file); }, fresh.GetParameters(),
        parameters);
}

} // namespace ProductSettings

CZLMCommonSettings::CZLMCommonSettings() : CIniParametersSet(ProductSettings::commonRows) {}

CZLMCurrentUserSettings::CZLMCurrentUserSettings() : CIniParametersSet(ProductSettings::currentUserRows) {}
