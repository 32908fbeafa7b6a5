#include "productsettings/ProductSettings.h"
#include "productsettings/tests/TestSets.h"

#include "cxx/core/SystemUtils.h"
#include "productlist/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <boost/algorithm/string/case_conv.hpp>

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

// Markup the reader skips, references and an internal subset, all well-formed.
const std::string userXml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>
<!DOCTYPE boost_serialization [ <!ELEMENT Settings ANY> ]>
<boost_serialization signature="serialization::archive" version="10">
<!-- <Settings> -->
<Settings class_id="0" tracking_level="0" version="1" note="a &gt; b > c">
  <?product </Settings> ?>
  <language>Ger<![CDATA[man]]>&#46;x&#x6D;l</language>
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
    EXPECT_EQ(Factory()->GetSettingsFiles().size(), 2u);

    EXPECT_TRUE(Factory("kvset")->GetSettingsFiles().empty()) << "the catalogue matches codes exactly";
    std::filesystem::remove(install / L"Product.exe");
    EXPECT_TRUE(Factory()->GetSettingsFiles().empty()) << "not installed";
}

TEST_F(SettingsOnDisk, ResetAndLoadsMergeTheTwoSets)
{
    CTestSettings settings(testProduct, Factory());
    EXPECT_EQ(settings.LoadCurrentUserSettings(), LR_NoSuchSet);
    EXPECT_TRUE(settings.GetParameters().empty());
    ASSERT_TRUE(settings.Reset());
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"user default") << "on a clash the user set wins";

    WriteBytes(userFile, userXml);
    WriteBytes(commonFile, commonXml);
    ASSERT_EQ(settings.LoadCurrentUserSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"German.xml");
    EXPECT_EQ(Get<std::wstring>(settings, "BuildID"), L"0") << "the other set keeps its defaults";
    ASSERT_EQ(settings.LoadCommonSettings(), LR_Loaded);
    EXPECT_EQ(Get<std::wstring>(settings, "BuildID"), L"1207");
    EXPECT_EQ(Get<std::wstring>(settings, "Language"), L"common default") << "the later load overwrites";
    EXPECT_EQ(settings.GetParameters().size(), 12u);

    struct CExhaustedFactory : ISettingsFactory {
        SettingsFiles GetSettingsFiles() override { throw std::bad_alloc(); }
    };
    EXPECT_EQ(CTestSettings(testProduct, std::make_unique<CExhaustedFactory>()).LoadCommonSettings(), LR_Unreadable)
        << "no exception leaves a load";
}

TEST(SettingsSelection, SiblingCodesInAnyCaseAndNothingForTheSetupsOwnProduct)
{
    for (const char* code : {"QXPDF", "", "NQX", " NQ"}) {
        EXPECT_EQ(FindSettingsProduct(code), nullptr) << code;
        EXPECT_EQ(CreateProductSettings(code), nullptr) << code;
    }
    const SettingsProduct expected[] = {
        {"NQ", L"KT_CURRENT_USER_SETTINGS", L"AppSettings.xml", L"KT_COMMON_SETTINGS", L"CommonSettings.xml", nullptr},
        {"BL", L"MV_CURRENT_USER_SETTINGS", L"Settings.xml", L"MV_COMMON_SETTINGS", L"CommonSettings.xml", nullptr},
        {"QXYB", L"HB_CURRENT_USER_SETTINGS", L"settings.xml", L"HB_COMMON_SETTINGS", L"common_settings.xml", nullptr},
        {"TRM", L"ZLM_CURRENT_USER_SETTINGS", L"Zelmora.ini", L"ZLM_COMMON_SETTINGS", L"Zelmora.ini", nullptr},
    };
    for (const SettingsProduct& product : expected) {
        const SettingsProduct* found = FindSettingsProduct(boost::algorithm::to_lower_copy(product.code));
        ASSERT_NE(found, nullptr) << product.code;
        EXPECT_EQ(found->code, product.code);
        EXPECT_EQ(found->userSetName, product.userSetName);
        EXPECT_EQ(found->userFile, product.userFile);
        EXPECT_EQ(found->commonSetName, product.commonSetName);
        EXPECT_EQ(found->commonFile, product.commonFile);
        EXPECT_NE(CreateProductSettings(product.code), nullptr);
    }
}
