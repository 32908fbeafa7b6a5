#include "productsettings/KTSettings.h"
#include "productsettings/SettingsText.h"
#include "productsettings/ZLMSettings.h"
#include "productsettings/tests/SiblingSupport.h"

#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

using namespace ProductSettings;
using namespace ProductSettings::Testing;
using ProductList::Testing::ReadBytes;

namespace {

using List = boost::shared_ptr<ParametersSetList>;
using Collection = boost::shared_ptr<ParametersSetCollection>;

// One parameter as the products' design gives it. A path "group/path" lies in
// the nested set whose element is group and whose name is the part of name
// before its '/'. The default's type is the parameter's type.
struct Row {
    std::wstring path;
    std::string name;
    boost::any defaultValue;
};
using Rows = std::vector<Row>;

const boost::any empty = std::wstring();
boost::any Text(const wchar_t* text) { return std::wstring(text); }

const Rows xmlCommon = {{L"m_strBuildID.String", "BuildID", Text(L"0")}, {L"m_strTrackID.String", "TrackID", empty}};

const Rows ktUser = {
    {L"IsFirstScan", "IsFirstScan", true},
    {L"LanguageManager/CurrentLanguage.String", "LanguageInfo/CurrentLanguageFile", Text(L"English.xml")},
    {L"ScanAfterRun", "ScanAfterRun", false},
    {L"AutoDownload", "AutoDownload", true},
    {L"AutoInstall", "AutoInstall", true},
    {L"OutOfDateItems", "OutOfDateDriversCount", 0},
    {L"DriverUpdated", "UpdatedDriverCount", 0},
    {L"ScanScalesArithmeticMean", "ScanScalesArithmeticMean", 0},
    {L"EmbeddedBrowser/Height", "EmbeddedBrowserSize/Height", 480L},
    {L"EmbeddedBrowser/Width", "EmbeddedBrowserSize/Width", 640L},
    {L"ExcludeList.px.ExcludeList", "ExcludeList", Collection()},
    {L"UpdatesInfo", "UpdatesInfo", List()},
    {L"ShowSplash", "ShowSplash", true},
    {L"OldUID.String", "OldUID", empty},
    {L"FirstRun", "FirstAppLaunch", true},
    {L"GeneralSettings/Startup", "GeneralSettings/Startup", true},
    {L"GeneralSettings/Autoscan", "GeneralSettings/AutoScan", true},
    {L"GeneralSettings/LastScan", "GeneralSettings/LastScan", 0LL},
    {L"GeneralSettings/FrequencyScanning", "GeneralSettings/FrequencyScanning", short(3)},
    {L"m_bHidePopups", "HidePopups", false},
    {L"m_strDriversPath.String", "DriversPath", empty},
    {L"m_strBackupsPath.String", "BackupsPath", empty},
    {L"m_bDeliverRecommendedDrivers", "DeliverRecomended", true},
    {L"time", "OldestDriverAge", 0LL},
    {L"m_bStartMinimizedOnAutostart", "StartMinimizedOnAutoStart", false},
    {L"m_bCreateRP", "CreateRP", true},
    {L"ShowNotificationsAllowed", "ShowServerNotifications", true},
    {L"m_usageTracking", "EnableTracking", true},
    {L"m_trackingUID.String", "TrackingUID", empty},
};

const Rows mvUser = {
    {L"m_mpStatesOfScanCheckboxes", "ScanCheckboxesStates", List()},
    {L"m_bHidePopups", "HidePopups", false},
    {L"MinimazeToTray", "MinimizeToTray", true},
    {L"RunAtStartUp", "RunAtStartup", true},
    {L"FirstScan", "IsFirstScan", true},
    {L"FixedToDate", "FixedErrorsCount", 0},
    {L"FirstScanCanceled", "IsFirstScanCanceled", false},
    {L"LastScanInfo/LastScan", "LastScanInfo/LastScanTime", 0LL},
    {L"LastScanInfo/ErrorsRemaining", "LastScanInfo/ErrorsRemaining", 0u},
    {L"LastScanInfo/ShowRemainingErrors", "LastScanInfo/ShowRemainingErrors", false},
    {L"LastScanInfo/LastScreenAfterScan", "LastScanInfo/LastScreenAfterScan", 3},
    {L"LastScanInfo/ScanWithoutFixPerformed", "LastScanInfo/ScanWithoutFixPerformed", false},
    {L"LanguageInfo/Language.String", "LanguageInfo/CurrentLanguageFile", Text(L"English.xml")},
    {L"PurchaseBrowserInfo/PurchaseType", "PurchaseBrowserInfo/PurchaseBrowserType", empty},
    {L"PurchaseBrowserInfo/PurchaseURL", "PurchaseBrowserInfo/PurchaseBrowserUrl", empty},
    {L"PurchaseBrowserInfo/PurchaseTitle", "PurchaseBrowserInfo/PurchaseBrowserTitle", empty},
    {L"PurchaseBrowserInfo/PurchaseBrowserX", "PurchaseBrowserInfo/PurchaseBrowserWidth", 640L},
    {L"PurchaseBrowserInfo/PurchaseBrowserY", "PurchaseBrowserInfo/PurchaseBrowserHeight", 480L},
    {L"ShowSplashScreen", "ShowSplash", true},
    {L"OptimizeCompleted", "OptimizeCompleted", false},
    {L"NumOfOptimizedKey", "OptimizedKeysCount", 0},
    {L"OriginalSize", "OriginalSize", 0},
    {L"OptimizedSize", "OptimizedSize", 0},
    {L"OldUID.String", "OldUID", empty},
    {L"FirstStart", "FirstAppLaunch", true},
    {L"m_bCreateSR", "CreateSR", true},
    {L"m_bStartMinimizedOnAutostart", "StartMinimizedOnAutoStart", false},
    {L"m_bShowNotificationsAllowed", "ShowServerNotifications", true},
    {L"m_trackingUID.String", "TrackingUID", empty},
    {L"m_usageTracking", "EnableTracking", true},
};

const Rows hbUser = {
    {L"m_propMonitorInstallations.m_prop", "MonitorInstallations", true},
    {L"m_propCheckForUpdatesOnStart.m_prop", "CheckForUpdatesOnStart", true},
    {L"m_propLanguage.m_prop.String", "CurrentLanguageFile", Text(L"English.xml")},
    {L"m_propFirstRun.m_prop", "FirstRun", true},
    {L"m_propFirstMinimizeScanDialog.m_prop", "FirstMinimizeScanDialog", true},
    {L"m_propRunOnStartUpFlag.m_prop", "RunOnStartUp", true},
    {L"m_propLastScanTime.m_prop", "LastScanTime", 0LL},
    {L"m_propShowMonitorStateMsg.m_prop", "ShowMonitorStateMsg", true},
    {L"m_propMetrictUID.m_prop.String", "MetricUID", empty},
    {L"m_propUsageTracking.m_prop", "UsageTracking", true},
};

const Rows zlmUser = {
    {L"Common.language", "CurrentLanguageFile", Text(L"English")},
    {L"Common.splashShow", "ShowSplash", true},
    {L"Common.createSystemRestorePoints", "createSystemRestorePoints", true},
    {L"Common.showScanInProgressDialog", "showScanInProgressDialog", true},
    {L"Common.showOptimizeConfirmDialog", "showOptimizeConfirmDialog", true},
    {L"Common.enableScheduledTasks", "enableScheduledTasks", true},
    {L"Common.enableCheckUpdatesOnStartup", "enableCheckUpdatesOnStartup", true},
    {L"Common.allScannersStarts", "allScannersStarts", false},
    {L"Common.enableTracking", "EnableTracking", true},
    {L"Common.trackingUid", "TrackingUID", empty},
    {L"Common.allowOffers", "ShowServerNotifications", true},
};

const Rows zlmCommon = {
    {L"Shared.buildId", "BuildID", Text(L"0")},
    {L"Shared.trackId", "TrackID", empty},
    {L"Shared.OldUid", "OldUID", empty},
};

struct Sibling {
    const char* code;
    const Rows& user;
    const Rows& common;
    bool ini;
};

const Sibling siblings[] = {
    {"NQ", ktUser, xmlCommon, false},
    {"BL", mvUser, xmlCommon, false},
    {"QXYB", hbUser, xmlCommon, false},
    {"TRM", zlmUser, zlmCommon, true},
};

const EEncoding encodings[] = {EEncoding::Utf8, EEncoding::Utf8Bom, EEncoding::Utf16LeBom, EEncoding::Utf16BeBom,
                               EEncoding::Latin1};

// In UTF-16, К and Ț hold a 0x1A byte, ഊ (big-endian) a 0D 0A pair, and ക
// before a line end (little-endian) one as well.
std::wstring TextFor(const Row& row, EEncoding encoding)
{
    const std::wstring name = Cxx::Core::Utils::Utf8ToWideString(row.name);
    return encoding == EEncoding::Latin1 ? name + L" Fran\u00e7ais" : name + L" \u021Aa \u041A\u0438\u0440 \u0D0A \u0D15";
}

// A value of the row's type away from its default and from the other rows'
// values, as the file holds it and as it loads.
std::pair<std::wstring, boost::any> FileValue(const Row& row, int index, EEncoding encoding)
{
    const boost::any& d = row.defaultValue;
    if (const bool* value = boost::any_cast<bool>(&d)) {
        return {*value ? L"0" : L"1", !*value};
    }
    if (d.type() == typeid(std::wstring)) {
        return {TextFor(row, encoding), TextFor(row, encoding)};
    }
    const std::pair<std::wstring, boost::any> numbers[] = {
        {std::to_wstring(1000 + index), short(1000 + index)}, {std::to_wstring(-50000 - index), -50000 - index},
        {std::to_wstring(70000 + index), 70000L + index},     {std::to_wstring(3000000000u + index), 3000000000u + index},
        {std::to_wstring(5000000000LL + index), 5000000000LL + index}};
    for (const auto& number : numbers) {
        if (number.second.type() == d.type()) {
            return number;
        }
    }
    return {L"", d}; // lists and collections: no element, so a null pointer
}

template <typename... Types>
bool SameAs(const boost::any& left, const boost::any& right)
{
    return left.type() == right.type() &&
           ((left.type() == typeid(Types) && boost::any_cast<Types>(left) == boost::any_cast<Types>(right)) || ...);
}

bool Same(const boost::any& left, const boost::any& right)
{
    return SameAs<bool, short, int, long, unsigned, long long, std::wstring, List, Collection>(left, right);
}

std::string Describe(const boost::any& value)
{
    if (const auto* text = boost::any_cast<std::wstring>(&value)) {
        return "\"" + Cxx::Core::Utils::WideToUtf8String(*text) + "\"";
    }
    return value.type().name();
}

// The value under "name" or "group/name".
boost::any Lookup(const IParametersSet& set, const std::string& name)
{
    const auto slash = name.find('/');
    if (slash == std::string::npos) {
        return set.GetParameter(name);
    }
    const auto group = set.GetParameter(name.substr(0, slash));
    const auto* nested = boost::any_cast<ParametersSetPtr>(&group);
    return nested && *nested ? (*nested)->GetParameter(name.substr(slash + 1)) : boost::any();
}

// The names the rows give at the top level, or inside group.
std::set<std::string> NamesIn(const std::vector<const Rows*>& tables, const std::string& group = "")
{
    std::set<std::string> names;
    for (const Rows* rows : tables) {
        for (const Row& row : *rows) {
            if (group.empty()) {
                names.insert(row.name.substr(0, row.name.find('/')));
            } else if (row.name.starts_with(group + "/")) {
                names.insert(row.name.substr(group.size() + 1));
            }
        }
    }
    return names;
}

std::set<std::string> NamesOf(const IParametersSet& set)
{
    std::set<std::string> names;
    for (const auto& [name, value] : ParametersOf(set)) {
        names.insert(name);
    }
    return names;
}

// Every parameter the tables give, with its value from expected, and no other.
void ExpectParameters(const IParametersSet& settings, const std::vector<const Rows*>& tables,
                      const std::function<boost::any(const Row&, int)>& expected)
{
    EXPECT_EQ(NamesOf(settings), NamesIn(tables));
    for (const Rows* rows : tables) {
        for (int i = 0; i < static_cast<int>(rows->size()); ++i) {
            const Row& row = (*rows)[i];
            const boost::any value = Lookup(settings, row.name);
            EXPECT_TRUE(Same(value, expected(row, i))) << row.name << " holds " << Describe(value);
            if (const auto slash = row.name.find('/'); slash != std::string::npos) {
                const auto group = boost::any_cast<ParametersSetPtr>(settings.GetParameter(row.name.substr(0, slash)));
                EXPECT_EQ(NamesOf(*group), NamesIn(tables, row.name.substr(0, slash))) << row.name;
            }
        }
    }
}

// Files that hold every row's value: the XML user and common sets each in
// its own file, both INI sets in both files (each reads only its section).
void PlaceFiles(const CInstalledSibling& installed, const Sibling& sibling, EEncoding encoding)
{
    Rows both = sibling.user;
    both.insert(both.end(), sibling.common.begin(), sibling.common.end());
    const auto file = [&](const Rows& rows, const std::wstring& root) {
        boost::property_tree::wptree tree;
        for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
            std::wstring path = root + rows[i].path;
            std::replace(path.begin(), path.end(), L'/', L'.');
            if (const auto text = FileValue(rows[i], i, encoding).first; !text.empty()) {
                tree.put(boost::property_tree::wptree::path_type(path, L'.'), text);
            }
        }
        std::wostringstream stream;
        sibling.ini ? boost::property_tree::write_ini(stream, tree) : boost::property_tree::write_xml(stream, tree);
        return Encode(stream.str(), encoding);
    };
    installed.PlaceUserFile(sibling.ini ? file(both, L"") : file(sibling.user, L"boost_serialization.Settings."));
    installed.PlaceCommonFile(sibling.ini ? file(both, L"") : file(sibling.common, L"boost_serialization.CommonSettings."));
}

template <typename T>
T Get(const IParametersSet& set, const std::string& name)
{
    return boost::any_cast<T>(Lookup(set, name));
}

// Swaps that fail as ReplaceFileW does when given a backup name: both files
// keep their names (ERROR_UNABLE_TO_MOVE_REPLACEMENT), or the old file lies
// under the backup name and the new one, under its own, has taken the old
// one's attributes (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
bool SwapKeepingNames(const std::wstring&, const std::wstring&, const std::wstring&)
{
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return false;
}

bool SwapMovingTheOldFileAside(const std::wstring& path, const std::wstring& replacement, const std::wstring& backup)
{
    EXPECT_TRUE(::SetFileAttributesW(replacement.c_str(), ::GetFileAttributesW(path.c_str())));
    EXPECT_TRUE(::MoveFileExW(path.c_str(), backup.c_str(), 0));
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return false;
}

// The real swap, which leaves the old file under the backup name for the save to remove.
bool SwapKeepingABackup(const std::wstring& path, const std::wstring& replacement, const std::wstring& backup)
{
    const std::string old = ReadBytes(path);
    const bool swapped = SwapSettingsFile(path, replacement, backup);
    EXPECT_EQ(ReadBytes(backup), old);
    return swapped;
}

// A swap stopped between its two moves, as a kill stops it: the old file lies
// under the backup name, the new one under its temporary name.
bool SwapStoppedHalfway(const std::wstring& path, const std::wstring&, const std::wstring& backup)
{
    EXPECT_TRUE(::MoveFileExW(path.c_str(), backup.c_str(), 0));
    throw std::runtime_error("stopped");
}

std::ptrdiff_t FilesBeside(const std::wstring& file)
{
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
}

} // namespace

TEST(SiblingSettings, ResetGivesEveryParameterItsDefault)
{
    for (const Sibling& sibling : siblings) {
        SCOPED_TRACE(sibling.code);
        const auto settings = CreateProductSettings(sibling.code);
        ASSERT_TRUE(settings && settings->Reset());
        ExpectParameters(*settings, {&sibling.user, &sibling.common}, [](const Row& row, int) { return row.defaultValue; });
    }
}

TEST(SiblingSettings, LoadsReadEveryParameterFromItsPathInEveryEncoding)
{
    for (const Sibling& sibling : siblings) {
        CInstalledSibling installed(sibling.code);
        for (const EEncoding encoding : encodings) {
            SCOPED_TRACE(std::string(sibling.code) + " in encoding " + std::to_string(static_cast<int>(encoding)));
            PlaceFiles(installed, sibling, encoding);
            const auto settings = CreateProductSettings(sibling.code);
            EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
            EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded);
            ExpectParameters(*settings, {&sibling.user, &sibling.common},
                             [&](const Row& row, int i) { return FileValue(row, i, encoding).second; });
        }
    }
}

TEST(SiblingSettings, AReadOnlyFileIsStillReadSinceItHoldsTheTrackingId)
{
    CInstalledSibling installed("NQ");
    installed.PlaceUserFile("<boost_serialization><Settings><m_trackingUID><String>uid-7</String></m_trackingUID>"
                            "</Settings></boost_serialization>");
    ASSERT_TRUE(::SetFileAttributesW(installed.UserFile().c_str(), FILE_ATTRIBUTE_READONLY));
    const auto settings = CreateProductSettings("NQ");
    EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(*settings, "TrackingUID"), L"uid-7");
    ::SetFileAttributesW(installed.UserFile().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(SiblingSettings, FilesThatDoNotReadChangeNothing)
{
    const auto nest = [](int levels) {
        std::string xml = "<boost_serialization><Settings>";
        for (const char* tag : {"<a>", "</a>"}) {
            for (int i = 0; i < levels; ++i) {
                xml += tag;
            }
        }
        return xml + "</Settings></boost_serialization>";
    };
    // 100 levels against the limit of 64, where open and close put a tag out
    // of the reader's sight: a scan that saw those tags would meet a shallow
    // document whose closing tags all match.
    const auto hidden = [](const std::string& open, const std::string& close) {
        std::string xml = "<boost_serialization><Settings>";
        for (int i = 0; i < 100; ++i) {
            xml += "<a>" + open + "</a>" + close;
        }
        for (int i = 0; i < 100; ++i) {
            xml += open + "<a>" + close + "</a>";
        }
        return xml + "</Settings></boost_serialization>";
    };
    const std::string archive = "<boost_serialization><Settings/></boost_serialization>";
    const struct {
        const char* code;
        std::string user;
        const char* what;
    } cases[] = {
        {"NQ", "<boost_serialization><Settings><IsFirstScan>0</IsFirstScan></Settin", "malformed"},
        {"BL", "<settings_export><Settings><m_bHidePopups>1</m_bHidePopups></Settings></settings_export>",
         "another root"},
        {"QXYB", "<boost_serialization><CommonSettings/></boost_serialization>", "no user set"},
        {"NQ", nest(200000), "200000 elements deep"},
        {"NQ", hidden("<!-->", "-->"), "tags in comments"},
        {"BL", hidden("<?>", "?>"), "tags in processing instructions"},
        {"QXYB", "<!DOCTYPE x [ > " + archive + "<!-- ]>" + nest(100) + "<!-- -->", "elements after an internal subset"},
        {"NQ", "<boost_serialization><Settings><IsFirstScan>0</IsFirstScan></Settinx></boost_serialization>",
         "a closing tag of another element"},
        {"BL", "<boost_serialization><Settings><m_trackingUID><String>&bogus;</String></m_trackingUID>"
               "</Settings></boost_serialization>",
         "an undefined entity"},
        {"QXYB", "<boost_serialization><Settings version=\"&bogus;\"/></boost_serialization>",
         "an undefined entity in an attribute"},
        {"NQ", archive + "<boost_serialization/>", "two root elements"},
        {"NQ", archive + std::string(MaxSettingsFileSize + 1 - archive.size(), ' '), "larger than settings can be"},
        {"TRM", "[Common]\ntrackingUid=uid\nsplashShow\n", "a key without a value"},
        {"TRM", "[Common]\nsplashShow=0\nsplashShow=1\n", "a key twice"},
        {"TRM", "[Common\nsplashShow=0\n", "an unclosed section"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CInstalledSibling installed(c.code);
        const auto settings = CreateProductSettings(c.code);
        ASSERT_TRUE(settings->Reset());
        EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_NoSuchSet) << "no file";
        installed.PlaceUserFile(c.user);
        EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Unreadable);
        const auto defaults = CreateProductSettings(c.code);
        defaults->Reset();
        for (const auto& [name, value] : ParametersOf(*defaults)) {
            EXPECT_TRUE(value.type() == typeid(ParametersSetPtr) || Same(settings->GetParameter(name), value)) << name;
        }
        const auto lowerCase = CreateProductSettings(boost::algorithm::to_lower_copy(std::string(c.code)));
        EXPECT_EQ(lowerCase->LoadCurrentUserSettings(), LR_NoSuchSet) << "the catalogue matches codes exactly";
    }
    EXPECT_EQ(CKTSettings(nullptr).LoadCurrentUserSettings(), LR_NoFactory);
    EXPECT_EQ(CZLMSettings(nullptr).LoadCommonSettings(), LR_NoFactory);
}

TEST(SiblingSettings, ListsTakeTheItemElements)
{
    CInstalledSibling kt("NQ");
    kt.PlaceUserFile(R"(<boost_serialization><Settings>
      <ExcludeList><px><ExcludeList><count>2</count><item><String>Audio</String></item>
        <item><String>Wi-Fi</String></item></ExcludeList></px></ExcludeList>
      <UpdatesInfo><count>2</count><item_version>0</item_version>
        <item><Name><String>GPU</String></Name><DriverAge>412</DriverAge></item>
        <item><Name><String>USB</String></Name><Domain><String>usb.org</String></Domain></item></UpdatesInfo>
    </Settings></boost_serialization>)");
    auto settings = CreateProductSettings("NQ");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    const auto updates = Get<List>(*settings, "UpdatesInfo");
    ASSERT_EQ(updates->size(), 2u) << "in document order";
    EXPECT_EQ(Get<std::wstring>(*updates->front(), "UpdateName"), L"GPU");
    EXPECT_EQ(Get<int>(*updates->front(), "DriverAge"), 412);
    EXPECT_EQ(Get<std::wstring>(*updates->back(), "UpdateDomain"), L"usb.org");
    EXPECT_EQ(Get<std::wstring>(*updates->back(), "UpdateTypeName"), L"");
    std::set<std::wstring> excluded;
    for (const auto& item : *Get<Collection>(*settings, "ExcludeList")) {
        excluded.insert(Get<std::wstring>(*item, "ExcludeList"));
    }
    EXPECT_EQ(excluded, (std::set<std::wstring>{L"Audio", L"Wi-Fi"}));

    CInstalledSibling mv("BL");
    mv.PlaceUserFile(R"(<boost_serialization><Settings><m_mpStatesOfScanCheckboxes><count>2</count>
      <item><first>2</first><second>1</second></item><item><first>5</first><second>0</second></item>
    </m_mpStatesOfScanCheckboxes></Settings></boost_serialization>)");
    settings = CreateProductSettings("BL");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    auto states = Get<List>(*settings, "ScanCheckboxesStates");
    ASSERT_EQ(states->size(), 2u);
    EXPECT_EQ(Get<int>(*states->back(), "checkBoxIndex"), 5);
    EXPECT_FALSE(Get<bool>(*states->back(), "checkBoxState"));
    EXPECT_TRUE(Get<bool>(*states->front(), "checkBoxState"));

    // An element without items replaces the states held before.
    mv.PlaceUserFile("<boost_serialization><Settings><m_mpStatesOfScanCheckboxes><count>0</count>"
                     "</m_mpStatesOfScanCheckboxes></Settings></boost_serialization>");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    states = Get<List>(*settings, "ScanCheckboxesStates");
    ASSERT_TRUE(states);
    EXPECT_TRUE(states->empty());
}

TEST(SiblingSettings, IniSetsReadOnlyTheirOwnSectionAndKeysThatConvert)
{
    CInstalledSibling installed("TRM");
    installed.PlaceCommonFile("");
    const auto settings = CreateProductSettings("TRM");
    EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded) << "an empty file";
    EXPECT_TRUE(ParametersOf(*settings).empty());

    // Without a Reset only the keys found are there.
    installed.PlaceCommonFile("[Common]\ntrackingUid=uid\n[Shared]\nbuildId=1207\n");
    EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded);
    EXPECT_EQ(NamesOf(*settings), std::set<std::string>{"BuildID"});

    // Lines end in CR, LF or both; an interrupted write left NULs up to the
    // largest size a settings file may have.
    std::string user = "[Common]\rsplashShow=true\r\nallScannersStarts=1\nenableTracking=0\rallowOffers=false\r"
                       "createSystemRestorePoints=yes\renableScheduledTasks=on\r";
    installed.PlaceUserFile(user + std::string(MaxSettingsFileSize - user.size(), '\0'));
    EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(NamesOf(*settings), (std::set<std::string>{"BuildID", "ShowSplash", "allScannersStarts",
                                                          "EnableTracking", "ShowServerNotifications"}));
    EXPECT_TRUE(Get<bool>(*settings, "ShowSplash"));
    EXPECT_TRUE(Get<bool>(*settings, "allScannersStarts"));
    EXPECT_FALSE(Get<bool>(*settings, "EnableTracking"));
    EXPECT_FALSE(Get<bool>(*settings, "ShowServerNotifications"));
}

TEST(SiblingSettings, IniSaveChangesOnlyTheSetsOwnKeysInTheFilesEncoding)
{
    const std::wstring before = L"; Zelmora 1.9\r\n[Shared]\r\nbuildId = 1207\r\n\r\n[Common]\r\n"
                                L"language=Fran\u00e7ais\r\n  trackingUid = old  \r\n# splashShow=true\r\n"
                                L"splashShow=false\r\n\r\n[Other]\r\nx=y";
    for (const EEncoding encoding : encodings) {
        SCOPED_TRACE(static_cast<int>(encoding));
        const std::wstring uid = encoding == EEncoding::Latin1 ? L"\u00e9t\u00e9" : L"\u021Aa \u041A";
        CInstalledSibling installed("TRM");
        installed.PlaceUserFile(Encode(before, encoding));
        ASSERT_TRUE(::SetFileAttributesW(installed.UserFile().c_str(), FILE_ATTRIBUTE_HIDDEN));
        // What a save killed before its swap left.
        const std::wstring leftover = installed.UserFile() + L".kvs.tmp";
        ProductList::Testing::WriteBytes(leftover, "partial");
        ASSERT_TRUE(::SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_HIDDEN));

        CZLMCurrentUserSettings user;
        ASSERT_TRUE(user.SetParameter("TrackingUID", uid));
        ASSERT_TRUE(user.SetParameter("ShowSplash", true));
        ASSERT_TRUE(user.SetParameter("ShowServerNotifications", false));
        ASSERT_TRUE(user.SetParameter("EnableTracking", std::wstring(L"of another type")));
        ASSERT_TRUE(user.WriteOwnKeys(installed.UserFile(), SwapKeepingABackup));

        const std::wstring after = L"; Zelmora 1.9\r\n[Shared]\r\nbuildId = 1207\r\n\r\n[Common]\r\n"
                                   L"language=Fran\u00e7ais\r\n  trackingUid = " + uid +
                                   L"  \r\n# splashShow=true\r\nsplashShow=true\r\nallowOffers=false\r\n\r\n"
                                   L"[Other]\r\nx=y";
        EXPECT_EQ(ReadBytes(installed.UserFile()), Encode(after, encoding));
        EXPECT_EQ(::GetFileAttributesW(installed.UserFile().c_str()) & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(FilesBeside(installed.UserFile()), 1) << "no temporary or backup file is left";
    }

    // Plain ASCII files take the products' one-byte form, in a folder whose
    // path is longer than MAX_PATH.
    const struct {
        std::wstring before, after;
    } newKeys[] = {
        {L"", L"[Common]\r\nlanguage=Fran\u00e7ais\r\nsplashShow=true\r\n"},
        {L"[Shared]\nbuildId=1", L"[Shared]\nbuildId=1\n[Common]\nlanguage=Fran\u00e7ais\nsplashShow=true\n"},
        {L"[Common]\nlanguage=de", L"[Common]\nlanguage=Fran\u00e7ais\nsplashShow=true\n"},
        {L"[Common]\n[Shared]\n", L"[Common]\nlanguage=Fran\u00e7ais\nsplashShow=true\n[Shared]\n"},
        {L"[Common]\rlanguage=de\r[Shared]\r", L"[Common]\rlanguage=Fran\u00e7ais\rsplashShow=true\r[Shared]\r"},
    };
    ProductList::Testing::CTempFolder temp;
    std::vector<std::wstring> folders = {L"\\\\?\\" + temp.Path()};
    for (const wchar_t letter : {L'd', L'e', L'f'}) {
        folders.push_back(folders.back() + L"\\" + std::wstring(200, letter));
        ASSERT_TRUE(::CreateDirectoryW(folders.back().c_str(), nullptr));
    }
    const std::wstring file = folders.back() + L"\\Zelmora.ini";
    CZLMCurrentUserSettings user;
    ASSERT_TRUE(user.SetParameter("ShowSplash", true));
    ASSERT_TRUE(user.SetParameter("CurrentLanguageFile", std::wstring(L"Fran\u00e7ais")));
    for (const auto& c : newKeys) {
        ProductList::Testing::WriteBytes(file, Encode(c.before, EEncoding::Latin1));
        EXPECT_TRUE(user.WriteOwnKeys(file));
        EXPECT_EQ(ReadBytes(file), Encode(c.after, EEncoding::Latin1));
    }
    // The temporary folder's removal does not reach that deep.
    EXPECT_TRUE(::DeleteFileW(file.c_str()));
    for (; folders.size() > 1; folders.pop_back()) {
        EXPECT_TRUE(::RemoveDirectoryW(folders.back().c_str()));
    }
}

TEST(SiblingSettings, IniSaveRefusesWhatItCannotWriteWhole)
{
    const struct {
        std::string file;
        std::wstring uid;
        DWORD attributes;
        const char* what;
        SettingsFileSwap swap = SwapSettingsFile;
        std::string staleBackup;
    } cases[] = {
        {"[Common]\r\ntrackingUid=old\r\n", L"new", FILE_ATTRIBUTE_READONLY, "a read-only file"},
        {"[Common]\r\ntrackingUid\r\n", L"new", FILE_ATTRIBUTE_NORMAL, "a file that does not parse"},
        {"[Common]\r\ntrackingUid=old\r\n", L"new\r\n[Shared]", FILE_ATTRIBUTE_NORMAL, "a value with a line break"},
        {"[Common]\r\ntrackingUid=caf\xE9\r\n", L"\u041A", FILE_ATTRIBUTE_NORMAL, "a letter Latin-1 lacks"},
        {std::string("\xFF\xFE[\0C\0]\0\n\0A", 11), L"new", FILE_ATTRIBUTE_NORMAL, "an odd byte after UTF-16"},
        {"[Common]\r\ntrackingUid=old\r\n", L"\u041A", FILE_ATTRIBUTE_NORMAL, "a letter beyond one byte in ASCII"},
        {"[Common]\r\ntrackingUid=old\r\n", L"\u00C3\u00A9", FILE_ATTRIBUTE_NORMAL, "letters that read as UTF-8"},
        {"[Common]\r\ntrackingUid=old\r\n", L" new ", FILE_ATTRIBUTE_NORMAL, "blanks the reader trims"},
        {"[Common]\r\nlanguage=Fran\xC3\xA7" "ais\r\ntrackingUid=old\r\n", L"\xD800", FILE_ATTRIBUTE_NORMAL,
         "a lone surrogate in UTF-8"},
        {std::string("[Common]\r\ntrackingUid=old\r\n") + std::string(4096, '\0'), L"new", FILE_ATTRIBUTE_NORMAL,
         "NULs after the keys"},
        {"[Common]\r\ntrackingUid=old\r\n", L"new", FILE_ATTRIBUTE_HIDDEN, "a swap that keeps both names",
         SwapKeepingNames},
        {"[Common]\r\ntrackingUid=old\r\n", L"new", FILE_ATTRIBUTE_HIDDEN, "a swap that moved the old file aside",
         SwapMovingTheOldFileAside},
        {"[Common]\r\ntrackingUid=old\r\n", L"new", FILE_ATTRIBUTE_HIDDEN,
         "a swap that keeps both names beside a stale backup", SwapKeepingNames, "[Common]\r\ntrackingUid=stale\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CInstalledSibling installed("TRM");
        installed.PlaceUserFile(c.file);
        const std::wstring backup = installed.UserFile() + L".kvs.bak";
        if (!c.staleBackup.empty()) {
            ProductList::Testing::WriteBytes(backup, c.staleBackup);
        }
        ASSERT_TRUE(::SetFileAttributesW(installed.UserFile().c_str(), c.attributes));
        CZLMCurrentUserSettings user;
        ASSERT_TRUE(user.SetParameter("TrackingUID", c.uid));
        EXPECT_FALSE(user.WriteOwnKeys(installed.UserFile(), c.swap));
        EXPECT_EQ(ReadBytes(installed.UserFile()), c.file);
        if (!c.staleBackup.empty()) {
            EXPECT_EQ(ReadBytes(backup), c.staleBackup) << "a file at the path is never replaced by a backup";
            EXPECT_TRUE(::DeleteFileW(backup.c_str()));
        }
        EXPECT_EQ(FilesBeside(installed.UserFile()), 1) << "no temporary or backup file is left";
        ::SetFileAttributesW(installed.UserFile().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The next load, or the next save, finds the old file at its path again.
TEST(SiblingSettings, AnOldFileThatAStoppedSwapLeftAsItsBackupIsPutBackFirst)
{
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "the next save" : "the next load");
        CInstalledSibling installed("TRM");
        installed.PlaceUserFile("[Common]\r\ntrackingUid=old\r\nsplashShow=false\r\n");
        CZLMCurrentUserSettings user;
        ASSERT_TRUE(user.SetParameter("TrackingUID", std::wstring(L"new")));
        EXPECT_THROW(user.WriteOwnKeys(installed.UserFile(), SwapStoppedHalfway), std::runtime_error);
        ASSERT_EQ(::GetFileAttributesW(installed.UserFile().c_str()), INVALID_FILE_ATTRIBUTES);
        if (save) {
            ASSERT_TRUE(user.WriteOwnKeys(installed.UserFile()));
            EXPECT_EQ(ReadBytes(installed.UserFile()), "[Common]\r\ntrackingUid=new\r\nsplashShow=false\r\n");
            EXPECT_EQ(FilesBeside(installed.UserFile()), 1);
        } else {
            const auto settings = CreateProductSettings("TRM");
            ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
            EXPECT_EQ(Get<std::wstring>(*settings, "TrackingUID"), L"old");
            EXPECT_FALSE(Get<bool>(*settings, "ShowSplash"));
        }
    }
}
