#include "productsettings/KTSettings.h"
#include "productsettings/ZLMSettings.h"
#include "productsettings/tests/SiblingSupport.h"

#include <gtest/gtest.h>

#include <boost/algorithm/string/case_conv.hpp>

#include <filesystem>
#include <map>

using namespace ProductSettings;
using namespace ProductSettings::Testing;
using ProductList::Testing::ReadBytes;

namespace {

struct Sibling {
    const char* code;
    const char* fullUser; // every user parameter away from its default
    const char* partialUser;
    bool ini; // one INI file holds both sets; the XML products share their common files

    const char* FullCommon() const { return ini ? fullUser : "CommonSettings.xml"; }
    const char* PartialCommon() const { return ini ? partialUser : "common-partial.xml"; }
    const char* Malformed() const { return ini ? "malformed.ini" : "malformed.xml"; }
    const char* OtherRoot() const { return ini ? "malformed.ini" : "other-root.xml"; }
};

const Sibling siblings[] = {
    {"NQ", "kt-AppSettings.xml", "kt-partial.xml", false},
    {"BL", "mv-Settings.xml", "mv-partial.xml", false},
    {"QXYB", "hb-settings.xml", "hb-partial.xml", false},
    {"TRM", "Zelmora.ini", "zlm-partial.ini", true},
};

const std::wstring ktUid = L"3b0f6c2a-9d41-4e7b-8c25-6a1e0d9f4b73";
const std::wstring zlmUid = L"2c4e6a8b-0d1f-4a3c-9e5b-7d9f1b3d5f7a";

// Values by product and path through nested sets ("group/name").
using Values = std::map<std::string, std::map<std::string, boost::any>>;

const Values fullFileValues = {
    {"NQ",
     {{"LanguageInfo/CurrentLanguageFile", std::wstring(L"Fran\u00e7ais.xml")},
      {"DriversPath", std::wstring(L"C:\\Users\\J\u00fcrgen\\Drivers")},
      {"OldestDriverAge", 5000000000LL},
      {"GeneralSettings/FrequencyScanning", short(7)},
      {"EmbeddedBrowserSize/Width", 800L}}},
    {"BL",
     {{"LanguageInfo/CurrentLanguageFile", std::wstring(L"Fran\u00e7ais.xml")},
      {"PurchaseBrowserInfo/PurchaseBrowserTitle", std::wstring(L"Mavrin \u00b7 Acheter")},
      {"LastScanInfo/ErrorsRemaining", 3000000000u},
      {"TrackID", std::wstring(L"partner-42")}}},
    {"QXYB", {{"CurrentLanguageFile", std::wstring(L"Fran\u00e7ais.xml")}, {"LastScanTime", 13370000000LL}}},
    {"TRM", {{"CurrentLanguageFile", std::wstring(L"Fran\u00e7ais")}, {"allScannersStarts", true}}},
};

// What the partial files set; wrong types and everything else keep defaults.
const Values partialFileValues = {
    {"NQ", {{"TrackingUID", ktUid}, {"TrackID", std::wstring(L"partner-42")}}},
    {"BL", {{"HidePopups", true}, {"LastScanInfo/ErrorsRemaining", 4u}, {"TrackID", std::wstring(L"partner-42")}}},
    {"QXYB", {{"FirstRun", false}, {"TrackID", std::wstring(L"partner-42")}}},
    {"TRM",
     {{"TrackingUID", zlmUid}, {"ShowSplash", false}, {"allScannersStarts", true}, {"BuildID", std::wstring(L"1207")}}},
};

// Every parameter of defaults, nested ones too, as known gives it; the others
// away from their defaults (awayFromDefaults) or at them.
void ExpectParameters(const Parameters& loaded, const Parameters& defaults, const std::map<std::string, boost::any>& known,
                      bool awayFromDefaults, const std::string& prefix = "")
{
    EXPECT_EQ(loaded.size(), defaults.size()) << prefix;
    for (const auto& [name, value] : defaults) {
        const std::string path = prefix + name;
        const auto found = loaded.find(name);
        ASSERT_TRUE(found != loaded.end()) << path;
        const auto expected = known.find(path);
        if (expected != known.end()) {
            EXPECT_TRUE(SameValue(found->second, expected->second)) << path;
        } else if (const auto* group = boost::any_cast<ParametersSetPtr>(&value)) {
            ExpectParameters(ParametersOf(*boost::any_cast<ParametersSetPtr>(found->second)), ParametersOf(**group),
                             known, awayFromDefaults, path + "/");
        } else {
            EXPECT_NE(SameValue(found->second, value), awayFromDefaults) << path;
        }
    }
}

std::unique_ptr<IProductSettings> Defaults(const std::string& code)
{
    auto settings = CreateProductSettings(code);
    EXPECT_TRUE(settings && settings->Reset());
    return settings;
}

template <typename T>
T Get(const IParametersSet& set, const std::string& name)
{
    return boost::any_cast<T>(set.GetParameter(name));
}

} // namespace

TEST(SiblingSettings, FullFilesInEveryEncodingSetEveryParameter)
{
    for (const Sibling& sibling : siblings) {
        CInstalledSibling installed(sibling.code);
        installed.PlaceCommonFile(TestData(sibling.FullCommon()));
        for (const EEncoding encoding :
             {EEncoding::Utf8, EEncoding::Utf8Bom, EEncoding::Utf16LeBom, EEncoding::Utf16BeBom, EEncoding::Latin1}) {
            SCOPED_TRACE(std::string(sibling.code) + " in encoding " + std::to_string(static_cast<int>(encoding)));
            installed.PlaceUserFile(Encode(TestData(sibling.fullUser), encoding));
            const auto settings = CreateProductSettings(sibling.code);
            ASSERT_TRUE(settings);
            EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
            EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded);
            ExpectParameters(ParametersOf(*settings), ParametersOf(*Defaults(sibling.code)),
                             fullFileValues.at(sibling.code), true);
        }
    }

    CInstalledSibling kt("NQ");
    kt.PlaceUserFile(TestData("kt-AppSettings.xml"));
    const auto settings = CreateProductSettings("NQ");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    const auto updates = Get<boost::shared_ptr<ParametersSetList>>(*settings, "UpdatesInfo");
    ASSERT_EQ(updates->size(), 2u) << "only the item elements";
    EXPECT_EQ(Get<std::wstring>(*updates->back(), "UpdateName"), L"Logitech USB Receiver");
    EXPECT_EQ(Get<int>(*updates->front(), "DriverAge"), 412);
    std::set<std::wstring> excluded;
    for (const auto& item : *Get<boost::shared_ptr<ParametersSetCollection>>(*settings, "ExcludeList")) {
        excluded.insert(Get<std::wstring>(*item, "ExcludeList"));
    }
    EXPECT_EQ(excluded, (std::set<std::wstring>{L"Realtek HD Audio", L"Intel(R) Wi-Fi 6 AX201"}));
    EXPECT_TRUE(settings->GetParameter("MetricUID").empty()) << "a name of another product";
}

TEST(SiblingSettings, PartialFilesAndWrongTypesLeaveTheRestAtTheirDefaults)
{
    for (const Sibling& sibling : siblings) {
        SCOPED_TRACE(sibling.code);
        CInstalledSibling installed(sibling.code);
        installed.PlaceUserFile(TestData(sibling.partialUser));
        installed.PlaceCommonFile(TestData(sibling.PartialCommon()));
        const auto settings = Defaults(sibling.code);
        EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
        EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded);
        ExpectParameters(ParametersOf(*settings), ParametersOf(*Defaults(sibling.code)),
                         partialFileValues.at(sibling.code), false);
    }
}

TEST(SiblingSettings, MissingAndMalformedFilesChangeNothing)
{
    for (const Sibling& sibling : siblings) {
        SCOPED_TRACE(sibling.code);
        CInstalledSibling installed(sibling.code);
        const auto settings = Defaults(sibling.code);
        EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_NoSuchSet);
        EXPECT_EQ(settings->LoadCommonSettings(), LR_NoSuchSet);
        installed.PlaceUserFile(TestData(sibling.Malformed()));
        installed.PlaceCommonFile(TestData(sibling.OtherRoot()));
        EXPECT_EQ(settings->LoadCurrentUserSettings(), LR_Unreadable);
        EXPECT_EQ(settings->LoadCommonSettings(), LR_Unreadable);
        ExpectParameters(ParametersOf(*settings), ParametersOf(*Defaults(sibling.code)), {}, false);

        installed.PlaceUserFile(TestData(sibling.fullUser));
        const auto lowerCase = CreateProductSettings(boost::algorithm::to_lower_copy(std::string(sibling.code)));
        EXPECT_EQ(lowerCase->LoadCurrentUserSettings(), LR_NoSuchSet) << "the catalogue matches codes exactly";
    }
    EXPECT_EQ(CKTSettings(nullptr).LoadCurrentUserSettings(), LR_NoFactory);
    EXPECT_EQ(CZLMSettings(nullptr).LoadCommonSettings(), LR_NoFactory);
}

TEST(SiblingSettings, AnEmptyCheckboxListReplacesTheStatesHeldBefore)
{
    CInstalledSibling installed("BL");
    installed.PlaceUserFile(TestData("mv-Settings.xml"));
    const auto settings = CreateProductSettings("BL");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    auto states = Get<boost::shared_ptr<ParametersSetList>>(*settings, "ScanCheckboxesStates");
    ASSERT_EQ(states->size(), 2u);
    EXPECT_EQ(Get<int>(*states->front(), "checkBoxIndex"), 2);
    EXPECT_TRUE(Get<bool>(*states->front(), "checkBoxState"));
    EXPECT_EQ(Get<int>(*states->back(), "checkBoxIndex"), 5);
    EXPECT_FALSE(Get<bool>(*states->back(), "checkBoxState"));

    installed.PlaceUserFile(TestData("mv-no-checkboxes.xml"));
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    states = Get<boost::shared_ptr<ParametersSetList>>(*settings, "ScanCheckboxesStates");
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

    // Without a Reset only the keys found are there; the Common section of the
    // common file is not the common set's.
    installed.PlaceCommonFile(TestData("zlm-partial.ini"));
    EXPECT_EQ(settings->LoadCommonSettings(), LR_Loaded);
    EXPECT_EQ(ParametersOf(*settings).size(), 1u);
    EXPECT_EQ(Get<std::wstring>(*settings, "BuildID"), L"1207");
    EXPECT_TRUE(settings->GetParameter("OldUID").empty());
}

TEST(SiblingSettings, IniSaveReplacesTheFileAndKeepsTheOtherKeys)
{
    CInstalledSibling installed("TRM");
    const std::string full = TestData("Zelmora.ini");
    installed.PlaceUserFile(full);

    CZLMCurrentUserSettings user;
    ASSERT_TRUE(user.SetParameter("TrackingUID", std::wstring(L"short")));
    ASSERT_TRUE(user.SetParameter("ShowSplash", true));
    ASSERT_TRUE(user.SetParameter("EnableTracking", std::wstring(L"of another type")));
    ASSERT_TRUE(user.WriteOwnKeys(installed.UserFile()));
    const std::string saved = ReadBytes(installed.UserFile());
    EXPECT_LT(saved.size(), full.size());
    EXPECT_NE(saved.find("buildId=1207\r\n"), std::string::npos) << "the other section stays";
    EXPECT_NE(saved.find("enableTracking=false\r\n"), std::string::npos) << "a value of another type is not written";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(installed.UserFile()).parent_path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left";

    const auto settings = CreateProductSettings("TRM");
    ASSERT_EQ(settings->LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(*settings, "TrackingUID"), L"short");
    EXPECT_TRUE(Get<bool>(*settings, "ShowSplash"));
    EXPECT_EQ(Get<std::wstring>(*settings, "CurrentLanguageFile"), L"Fran\u00e7ais");

    installed.PlaceUserFile(TestData("malformed.ini"));
    EXPECT_FALSE(user.WriteOwnKeys(installed.UserFile()));
    EXPECT_EQ(ReadBytes(installed.UserFile()), TestData("malformed.ini"));
}
