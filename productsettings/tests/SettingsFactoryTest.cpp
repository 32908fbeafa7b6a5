#include "productsettings/ProductSettings.h"
#include "productsettings/tests/TestSets.h"

#include "cxx/core/SystemUtils.h"
#include "productlist/Catalogue.h"
#include "productlist/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace ProductSettings;
using namespace ProductSettings::Testing;
using namespace ProductList::Testing;
using ProductList::ERegistryView;

namespace {

const SettingsProduct testProduct = {"KvSet", L"TEST_CURRENT_USER_SETTINGS", L"user.xml", L"TEST_COMMON_SETTINGS",
                                     L"common.xml", nullptr};

using CTestSettings = CXmlProductSettings<CTestUserSet, CTestCommonSet>;

// A product installed on the machine with its data folders.
class SettingsOnDisk : public ::testing::Test {
protected:
    SettingsOnDisk()
    {
        key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\"");
        key.SetText(L"InstallLocation", install.Path());
        // Any file serves as the installed program here.
        WriteBytes(install / L"Product.exe", "MZ");
        std::filesystem::create_directories(userDir);

        auto entry = Entry("KvSet", Narrow(data.Path()));
        entry.put("UninstallLocation.UninstallKeyName", Narrow(keyName));
        entry.put("UninstallLocation.MainExecutable", "Product.exe");
        WriteListFile(lists / L"list.dat", {entry});
    }

    std::unique_ptr<ISettingsFactory> Factory(const std::string& code = "KvSet")
    {
        return std::make_unique<CSettingsFactory>(testProduct, code, lists / L"list.dat");
    }

    const std::wstring keyName = UniqueName(L"KvTest Settings");
    // The catalogue reads the 64-bit view first, whatever the program's own.
    CMachineKey key{ProductList::uninstallKeyPrefix + keyName, ERegistryView::View64};
    CTempFolder install;
    CTempFolder data;
    CTempFolder lists;
    const std::wstring userDir = data / Cxx::Core::Utils::GetLoggedOnUserSid();
    const std::wstring userFile = userDir + L"\\user.xml";
    const std::wstring commonFile = data / L"common.xml";
};

const std::string userXml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>
<!DOCTYPE boost_serialization>
<boost_serialization signature="serialization::archive" version="10">
<Settings class_id="0" tracking_level="0" version="1">
  <m_bFlag>0</m_bFlag>
  <count>42</count>
  <m_strTrackingUID><String>5f0c3a52-user</String></m_strTrackingUID>
  <language>German.xml</language>
</Settings>
</boost_serialization>
)";

const std::string commonXml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>
<boost_serialization signature="serialization::archive" version="10">
<CommonSettings class_id="0" tracking_level="0" version="0">
  <m_strBuildID><String>1207</String></m_strBuildID>
</CommonSettings>
</boost_serialization>
)";

template <typename T>
T Get(const IParametersSet& set, const std::string& name)
{
    return boost::any_cast<T>(set.GetParameter(name));
}

} // namespace

TEST_F(SettingsOnDisk, FactoryOpensTheFilesInTheProductsDataFolders)
{
    ASSERT_FALSE(Cxx::Core::Utils::GetLoggedOnUserSid().empty());
    EXPECT_TRUE(Factory()->GetSettingsFiles().empty()) << "no files yet";

    WriteBytes(userFile, userXml);
    auto files = Factory()->GetSettingsFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, L"TEST_CURRENT_USER_SETTINGS");

    WriteBytes(commonFile, commonXml);
    // A file the user may not write is still read.
    ASSERT_TRUE(::SetFileAttributesW(commonFile.c_str(), FILE_ATTRIBUTE_READONLY));
    files = Factory()->GetSettingsFiles();
    ASSERT_EQ(files.size(), 2u);
    std::wstring firstLine;
    std::getline(*files.at(L"TEST_COMMON_SETTINGS"), firstLine);
    EXPECT_EQ(firstLine, L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>");
    files.clear();
    ::SetFileAttributesW(commonFile.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_TRUE(Factory("kvset")->GetSettingsFiles().empty()) << "the catalogue matches codes exactly";
    std::filesystem::remove(install / L"Product.exe");
    EXPECT_TRUE(Factory()->GetSettingsFiles().empty()) << "not installed";
}

TEST_F(SettingsOnDisk, LoadsReportWhatHappened)
{
    CTestSettings settings(testProduct, Factory());
    EXPECT_EQ(settings.LoadCurrentUserSettings(), LR_NoSuchSet);
    EXPECT_EQ(settings.LoadCommonSettings(), LR_NoSuchSet);
    EXPECT_TRUE(settings.GetParameters().empty());

    WriteBytes(userFile, userXml);
    WriteBytes(commonFile, commonXml);
    EXPECT_EQ(settings.LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(settings, "TrackingUID"), L"5f0c3a52-user");
    EXPECT_EQ(Get<int>(settings, "Count"), 42);
    EXPECT_FALSE(Get<bool>(settings, "Flag"));
    EXPECT_EQ(Get<short>(settings, "Small"), 5) << "a load writes every parameter of its set";
    EXPECT_TRUE(settings.GetParameter("BuildID").empty());
    EXPECT_EQ(settings.LoadCommonSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(settings, "BuildID"), L"1207");
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"common default") << "the later load overwrites";

    CTestSettings withoutFactory(testProduct, nullptr);
    EXPECT_EQ(withoutFactory.LoadCurrentUserSettings(), LR_NoFactory);
    EXPECT_EQ(withoutFactory.LoadCommonSettings(), LR_NoFactory);
}

TEST_F(SettingsOnDisk, UnreadableFilesChangeNothing)
{
    CTestSettings settings(testProduct, Factory());
    ASSERT_TRUE(settings.Reset());
    const auto before = settings.GetParameters().size();

    WriteBytes(userFile, "<other><Settings><count>1</count></Settings></other>");
    EXPECT_EQ(settings.LoadCurrentUserSettings(), LR_Unreadable);
    WriteBytes(userFile, "<boost_serialization><Settings><count>1</count></Settin");
    EXPECT_EQ(settings.LoadCurrentUserSettings(), LR_Unreadable);
    WriteBytes(commonFile, "<boost_serialization><Settings/></boost_serialization>");
    EXPECT_EQ(settings.LoadCommonSettings(), LR_Unreadable) << "the common set's root is missing";

    EXPECT_EQ(settings.GetParameters().size(), before);
    EXPECT_EQ(Get<int>(settings, "Count"), 7);
}

TEST_F(SettingsOnDisk, ResetThenLoadKeepsTheOtherSetsDefaults)
{
    CTestSettings settings(testProduct, Factory());
    ASSERT_TRUE(settings.Reset());
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"user default") << "on a clash the user set wins";
    EXPECT_EQ(Get<std::wstring>(settings, "BuildID"), L"0");

    WriteBytes(userFile, userXml);
    ASSERT_EQ(settings.LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"German.xml");
    EXPECT_EQ(Get<std::wstring>(settings, "BuildID"), L"0");
    EXPECT_EQ(settings.GetParameters().size(), 12u);
}

TEST(SettingsSelection, SiblingCodesInAnyCaseAndNothingForTheSetupsOwnProduct)
{
    EXPECT_EQ(FindSettingsProduct("QXPDF"), nullptr);
    EXPECT_EQ(CreateProductSettings("QXPDF"), nullptr);
    EXPECT_EQ(CreateProductSettings(""), nullptr);
    EXPECT_EQ(FindSettingsProduct("NQX"), nullptr);
    EXPECT_EQ(FindSettingsProduct(" NQ"), nullptr);

    const SettingsProduct* kt = FindSettingsProduct("nq");
    ASSERT_NE(kt, nullptr);
    EXPECT_EQ(kt->code, "NQ");
    EXPECT_EQ(kt->userSetName, L"KT_CURRENT_USER_SETTINGS");
    EXPECT_EQ(kt->userFile, L"AppSettings.xml");
    EXPECT_EQ(kt->commonFile, L"CommonSettings.xml");

    const std::pair<const char*, const wchar_t*> sets[] = {
        {"Bl", L"MV_COMMON_SETTINGS"}, {"qxyb", L"HB_COMMON_SETTINGS"}, {"TRM", L"ZLM_COMMON_SETTINGS"}};
    for (const auto& [code, commonSet] : sets) {
        const SettingsProduct* product = FindSettingsProduct(code);
        ASSERT_NE(product, nullptr) << code;
        EXPECT_EQ(product->commonSetName, commonSet);
    }
    EXPECT_EQ(FindSettingsProduct("QXYB")->userFile, L"settings.xml");
    EXPECT_EQ(FindSettingsProduct("TRM")->userFile, L"Zelmora.ini");
}

TEST(SettingsSelection, SiblingCodesAreInTheBuiltInCatalogue)
{
    const auto catalogue = ProductList::LoadCatalogue(L"", "", L"");
    for (const char* code : {"NQ", "QXYB", "TRM", "BL"}) {
        bool listed = false;
        for (const auto& [key, entry] : catalogue.get_child("Applications")) {
            listed = listed || entry.get<std::string>("ProductCode") == code;
        }
        EXPECT_TRUE(listed) << code;
    }
}
