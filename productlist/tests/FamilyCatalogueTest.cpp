#include "productlist/ProductList.h"
#include "productlist/tests/TestSupport.h"

#include "cxx/core/SystemUtils.h"
#include "tests/nsis/TestInstallers.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <filesystem>

using namespace ProductList;
using namespace ProductList::Testing;

namespace {

std::wstring CommonAppData()
{
    wchar_t folder[MAX_PATH] = {};
    EXPECT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    return folder;
}

} // namespace

// The values the product's 32-bit NSIS installer writes, in the 32-bit view.
TEST(FamilyCatalogue, FindsThePdfProductWhereItsInstallerPutsIt)
{
    CTempFolder folder;
    const std::wstring installDir = folder / L"Vellix PDF Pro";
    const std::wstring exePath = InstallProbe(installDir, L"VellixPDF.exe");
    // The test installer writes the same key: take turns with its tests, and
    // start from no product whatever an earlier run left.
    KvTest::CTestProductLock productLock;
    ASSERT_TRUE(productLock.IsHeld());
    ASSERT_TRUE(KvTest::RemoveTestProduct());
    CProductList catalogue(L"", "");
    ASSERT_FALSE(catalogue.IsProductInstalled("QXPDF"));

    CMachineKey key(uninstallKeyPrefix + L"Vellix PDF Pro", ERegistryView::View32);
    key.SetText(L"DisplayName", L"Vellix PDF Pro");
    key.SetText(L"DisplayVersion", L"7.0.0.1125");
    key.SetText(L"Publisher", L"Vellix");
    key.SetText(L"UninstallString", L"\"" + installDir + L"\\uninstall.exe\"");
    key.SetText(L"InstallLocation", installDir);
    key.SetText(L"OSOURCE", L"web");

    ASSERT_TRUE(catalogue.IsProductInstalled("QXPDF"));
    ProductInfo info;
    ASSERT_TRUE(catalogue.GetProductInfo("QXPDF", info));
    EXPECT_EQ(info.installDir, installDir);
    EXPECT_EQ(info.mainExecutable, "VellixPDF.exe");
    EXPECT_EQ(info.registryKey, uninstallKeyPrefix32 + L"Vellix PDF Pro");
    EXPECT_EQ(info.vendor, "Vellix");
    EXPECT_EQ(info.productName, "Vellix PDF Pro");
    EXPECT_EQ(info.programDataPath, CommonAppData() + L"\\Vellix\\PDF Pro");
    EXPECT_EQ(info.installSource, L"web");
    EXPECT_EQ(info.version, "3.4.5.6");
    EXPECT_FALSE(info.isSupported) << "older than the row's minimum 7.0.0.0";

    // Without InstallLocation the quoted uninstaller's folder serves.
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, (uninstallKeyPrefix32 + L"Vellix PDF Pro").c_str(), L"InstallLocation");
    ASSERT_TRUE(catalogue.GetProductInfo("QXPDF", info));
    EXPECT_EQ(info.installDir, installDir);
}

TEST(FamilyCatalogue, SiblingRowsPointAtTheirOwnKeys)
{
    CTempFolder folder;
    CProductList catalogue(L"", "");

    const std::wstring kestrelDir = folder / L"Kestrel Tune";
    InstallProbe(kestrelDir, L"KestrelTune.exe");
    CMachineKey kestrel(L"SOFTWARE\\Vellix\\Kestrel Tune", ERegistryView::View32);
    kestrel.SetText(L"InstallDir", kestrelDir);
    kestrel.SetText(L"ProductID", L"Kestrel Tune_is1");
    ProductInfo info;
    ASSERT_TRUE(catalogue.GetProductInfo("NQ", info));
    EXPECT_EQ(info.installDir, kestrelDir);
    EXPECT_EQ(info.registryKey, uninstallKeyPrefix32 + L"Kestrel Tune_is1");

    const std::wstring zelmora = InstallProbe(folder / L"Zelmora", L"Zelmora64.exe");
    CMachineKey appPath(appPathsKeyPrefix + L"Zelmora64.exe", ERegistryView::View64);
    appPath.SetText(L"", zelmora);
    EXPECT_EQ(catalogue.IsProductInstalled("TRM"), Cxx::Core::Utils::Is64BitWindows());
}
