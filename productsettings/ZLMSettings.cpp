#include "productsettings/ZLMSettings.h"

#include "productsettings/SettingsText.h"

#include <boost/property_tree/ini_parser.hpp>

#include <algorithm>
#include <locale>
#include <optional>
#include <sstream>
#include <string_view>
#include <type_traits>
#include <vector>

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

using Tree = CIniParametersSet::Tree;

// Parses the text as a load reads it. The INI reader splits lines at line
// feeds only; a lone carriage return ends a line as well. The NULs that an
// interrupted write leaves after the text are no part of it.
bool ParseIni(std::wstring text, Tree& tree)
{
    text.erase(text.find_last_not_of(L'\0') + 1);
    for (std::size_t at = text.find(L'\r'); at != std::wstring::npos; at = text.find(L'\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != L'\n') {
            text[at] = L'\n';
        }
    }
    try {
        std::wistringstream stream(text);
        boost::property_tree::read_ini(stream, tree);
    } catch (const boost::property_tree::ptree_error&) {
        return false;
    }
    return true;
}

// Whitespace as the INI reader trims it.
bool IsBlank(wchar_t c)
{
    return std::isspace(c, std::locale::classic());
}

// One line of an INI text: [begin, contentEnd) without its line end (CR LF,
// LF or CR), which runs to end.
struct IniLine {
    std::size_t begin, contentEnd, end;
};

std::vector<IniLine> SplitLines(const std::wstring& text)
{
    std::vector<IniLine> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t contentEnd = std::min(text.find_first_of(L"\r\n", begin), text.size());
        const std::size_t end = text.compare(contentEnd, 2, L"\r\n") == 0 ? contentEnd + 2
                                : contentEnd == text.size()                 ? contentEnd
                                                                            : contentEnd + 1;
        lines.push_back({begin, contentEnd, end});
        begin = end;
    }
    return lines;
}

// The line end of the text's first line; CR LF when it has none.
std::wstring FirstLineEnd(const std::wstring& text)
{
    const std::vector<IniLine> lines = SplitLines(text);
    const bool ended = !lines.empty() && lines.front().end > lines.front().contentEnd;
    return ended ? text.substr(lines.front().contentEnd, lines.front().end - lines.front().contentEnd) : L"\r\n";
}

std::wstring Trimmed(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::wstring(text);
}

// Puts value under key of section into text: in place of the value on the
// key's line, else on a new line after the section's last key, else in a new
// section at the end. New lines end as the text's first line does.
void PutIniValue(std::wstring& text, const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    const std::wstring lineEnd = FirstLineEnd(text);
    std::optional<std::wstring> current;
    std::optional<std::size_t> insertAt;
    for (const IniLine& line : SplitLines(text)) {
        const std::wstring_view content(text.data() + line.begin, line.contentEnd - line.begin);
        const std::wstring trimmed = Trimmed(content);
        if (trimmed.empty() || trimmed.front() == L';' || trimmed.front() == L'#') {
            continue;
        }
        if (trimmed.front() == L'[') {
            current = Trimmed(std::wstring_view(trimmed).substr(1, trimmed.find(L']') - 1));
            if (current == section) {
                insertAt = line.end;
            }
            continue;
        }
        if (current != section) {
            continue;
        }
        const std::size_t equals = line.begin + content.find(L'=');
        if (Trimmed(content.substr(0, equals - line.begin)) == key) {
            std::size_t valueBegin = equals + 1, valueEnd = line.contentEnd;
            while (valueBegin < valueEnd && IsBlank(text[valueBegin])) {
                ++valueBegin;
            }
            while (valueEnd > valueBegin && IsBlank(text[valueEnd - 1])) {
                --valueEnd;
            }
            text.replace(valueBegin, valueEnd - valueBegin, value);
            return;
        }
        insertAt = line.end;
    }
    const std::wstring entry = key + L"=" + value + lineEnd;
    const std::size_t at = insertAt.value_or(text.size());
    // The last line may lack its line end.
    const bool closeLine = at > 0 && text[at - 1] != L'\n' && text[at - 1] != L'\r';
    text.insert(at, (closeLine ? lineEnd : L"") + (insertAt ? entry : L"[" + section + L"]" + lineEnd + entry));
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

bool CIniParametersSet::WriteOwnKeys(const std::wstring& path, SettingsFileSwap swap)
{
    RestoreSettingsBackup(path);
    std::string bytes, updated;
    if (!ReadSettingsBytes(path, bytes)) {
        return false;
    }
    SettingsText text = DecodeSettingsText(bytes);
    Tree tree, values;
    // A text that does not encode back to the same bytes would change lines
    // this set does not own; NULs after the text would stay after the new keys.
    if (!EncodeSettingsText(text, updated) || updated != bytes || (!text.text.empty() && text.text.back() == L'\0') ||
        !ParseIni(text.text, tree) || !SerializeIni(values, IM_Save)) {
        return false;
    }
    for (const auto& [section, keys] : values) {
        for (const auto& [key, value] : keys) {
            // A line break would end the value and start lines of its own.
            if (value.data().find_first_of(L"\r\n") != std::wstring::npos) {
                return false;
            }
            PutIniValue(text.text, section, key, value.data());
        }
    }
    if (!EncodeSettingsText(text, updated)) {
        return false;
    }
    // What a load will read: the whole text as it was put together, and each
    // value whole (the reader trims blanks, and the bytes may read as another
    // encoding or carry a replacement for a letter the encoding lacks).
    const SettingsText written = DecodeSettingsText(updated);
    Tree reread;
    if (written.text != text.text || !ParseIni(written.text, reread)) {
        return false;
    }
    for (const auto& [section, keys] : values) {
        for (const auto& [key, value] : keys) {
            if (reread.get_optional<std::wstring>(Tree::path_type(section + L"." + key, L'.')) != value.data()) {
                return false;
            }
        }
    }
    return ReplaceSettingsFile(path, updated, swap);
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
