#include "productlist/ProductList.h"
#include "productlist/tests/TestSupport.h"

#include "cxx/core/SystemUtils.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace ProductList;
using namespace ProductList::Testing;
using boost::property_tree::ptree;

namespace {

// One product installed the way a 32-bit installer leaves it on 64-bit
// Windows: its uninstall key in the 32-bit view, its program in a folder.
struct InstalledProduct {
    explicit InstalledProduct(const std::wstring& exeName = L"Product.exe")
        : exeName(exeName),
          exePath(InstallProbe(folder.Path(), exeName)),
          key(uninstallKeyPrefix + keyName, ERegistryView::View32)
    {
        key.SetText(L"DisplayName", keyName);
        key.SetText(L"UninstallString", L"\"" + folder.Path() + L"\\uninst.exe\"");
        key.SetText(L"InstallLocation", folder.Path());
    }

    ptree Row(const std::string& code, const std::string& programDataPath = "") const
    {
        ptree entry = Entry(code, programDataPath);
        entry.put("UninstallLocation.UninstallKeyName", Narrow(keyName));
        entry.put("UninstallLocation.MainExecutable", Narrow(exeName));
        return entry;
    }

    const std::wstring keyName = UniqueName(L"KvTest Product");
    CTempFolder folder;
    const std::wstring exeName;
    const std::wstring exePath;
    CMachineKey key;
};

ptree NotInstalledRow(const std::string& code)
{
    ptree entry = Entry(code);
    entry.put("UninstallLocation.UninstallKeyName", Narrow(UniqueName(L"KvTest absent")));
    entry.put("UninstallLocation.MainExecutable", "Product.exe");
    return entry;
}

class Catalogue : public ::testing::Test {
protected:
    CProductList Make(const std::vector<ptree>& entries)
    {
        WriteListFile(lists / L"list.dat", entries);
        return CProductList(lists / L"list.dat", "");
    }

    CTempFolder lists;
};

std::wstring CommonAppData()
{
    wchar_t folder[MAX_PATH] = {};
    EXPECT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    return folder;
}

} // namespace

TEST_F(Catalogue, InstalledProductsAreFoundByTheirExactCode)
{
    InstalledProduct product;
    auto catalogue = Make({NotInstalledRow("GONE"), product.Row("KvOne")});
    EXPECT_TRUE(catalogue.IsProductInstalled("KvOne"));
    EXPECT_FALSE(catalogue.IsProductInstalled("KVONE"));
    EXPECT_FALSE(catalogue.IsProductInstalled("kvone"));
    EXPECT_FALSE(catalogue.IsProductInstalled("GONE"));
    EXPECT_FALSE(catalogue.IsProductInstalled("NOPE"));

    ProductInfo info;
    info.code = "untouched";
    EXPECT_FALSE(catalogue.GetProductInfo("GONE", info));
    EXPECT_EQ(info.code, "untouched");

    std::filesystem::remove(product.exePath);
    EXPECT_FALSE(catalogue.IsProductInstalled("KvOne")) << "the answer is worked out afresh";
}

TEST_F(Catalogue, RecordDescribesTheInstallation)
{
    // Creation times cannot be set on the prefix's drive: the folder is made now.
    const auto before = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
    InstalledProduct product;
    auto catalogue = Make({product.Row("KvRec", "%ProgramData%\\Vellix\\Test")});

    ProductInfo info;
    ASSERT_TRUE(catalogue.GetProductInfo("KvRec", info));
    EXPECT_EQ(info.code, "KvRec");
    EXPECT_EQ(info.installDir, product.folder.Path());
    EXPECT_EQ(info.mainExecutable, "Product.exe");
    EXPECT_EQ(info.registryKey, uninstallKeyPrefix32 + product.keyName);
    EXPECT_EQ(info.version, "3.4.5.6") << "the ProductVersion string, not the file version";
    const auto after = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_GE(info.installTime, before - 2);
    EXPECT_LE(info.installTime, after + 2);
    EXPECT_EQ(info.vendor, "Vellix");
    EXPECT_EQ(info.productName, "Test KvRec");
    EXPECT_EQ(info.programDataPath, CommonAppData() + L"\\Vellix\\Test");
    const std::wstring sid = Cxx::Core::Utils::GetLoggedOnUserSid();
    ASSERT_FALSE(sid.empty()) << "the test prefix has a profile for its user";
    EXPECT_EQ(info.userDataPath, info.programDataPath + L"\\" + sid);
    EXPECT_EQ(info.buildId, L"0");
    EXPECT_TRUE(info.trackId.empty());
    EXPECT_TRUE(info.installSource.empty());
    EXPECT_FALSE(info.isSupported) << "no minimum version in the entry";

    product.key.SetText(L"BID", L"b-77");
    product.key.SetText(L"TID", L"t-42");
    product.key.SetText(L"OSOURCE", L"partner");
    ASSERT_TRUE(catalogue.GetProductInfo("KvRec", info));
    EXPECT_EQ(info.buildId, L"b-77");
    EXPECT_EQ(info.trackId, L"t-42");
    EXPECT_EQ(info.installSource, L"partner");
}

TEST_F(Catalogue, DataPaths)
{
    InstalledProduct product;
    auto catalogue = Make({product.Row("Caps", "%PROGRAMDATA%\\Kv"), product.Row("Empty", ""),
                           product.Row("Unknown", "%KV_NOT_SET%\\Kv")});
    // Without the variable the common application-data folder stands in.
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ProgramData", nullptr));
    ProductInfo info;
    ASSERT_TRUE(catalogue.GetProductInfo("Caps", info));
    EXPECT_EQ(info.programDataPath, CommonAppData() + L"\\Kv");

    // Without a data folder there is no per-user folder either.
    ASSERT_TRUE(catalogue.GetProductInfo("Empty", info));
    EXPECT_TRUE(info.programDataPath.empty());
    EXPECT_TRUE(info.userDataPath.empty());

    ASSERT_TRUE(catalogue.GetProductInfo("Unknown", info));
    EXPECT_EQ(info.programDataPath, L"%KV_NOT_SET%\\Kv");
}

TEST_F(Catalogue, VersionAgainstTheMinimumSupportedVersion)
{
    InstalledProduct product;
    auto row = [&](const std::string& code, const char* minimum) {
        ptree entry = product.Row(code);
        entry.put("MinimumSupportedVersion", minimum);
        return entry;
    };
    auto catalogue = Make({row("Equal", "3.4.5.6"), row("Three", "3.4.5"), row("Newer", "3.4.6"),
                           row("FileOnly", "3.4.5.7"), row("Beyond", "3.4.5.8"), row("Garbage", "three"),
                           row("Negative", "3.2147483648.0.0"), product.Row("None")});

    const std::pair<const char*, bool> expected[] = {{"Equal", true},    {"Three", true},   {"Newer", false},
                                                     {"FileOnly", false}, {"Beyond", false}, {"Garbage", false},
                                                     {"Negative", false}, {"None", false}};
    for (const auto& [code, supported] : expected) {
        ProductInfo info;
        ASSERT_TRUE(catalogue.GetProductInfo(code, info)) << code;
        EXPECT_EQ(info.isSupported, supported) << code;
    }

    // IsSupportedVersion reads the fixed file version, 3.4.5.7.
    EXPECT_TRUE(catalogue.IsSupportedVersion("Equal"));
    EXPECT_TRUE(catalogue.IsSupportedVersion("Three"));
    EXPECT_TRUE(catalogue.IsSupportedVersion("FileOnly"));
    EXPECT_FALSE(catalogue.IsSupportedVersion("Beyond"));
    EXPECT_FALSE(catalogue.IsSupportedVersion("Garbage"));
    EXPECT_FALSE(catalogue.IsSupportedVersion("None"));
    EXPECT_FALSE(catalogue.IsSupportedVersion("Absent"));
    EXPECT_EQ(GetFileVersionText(product.exePath), "3.4.5.7");
    EXPECT_EQ(GetFileVersionText(product.folder / L"missing.exe"), "");
}

TEST_F(Catalogue, EntriesAreTriedInOrderAndIncompleteOnesPassedOver)
{
    InstalledProduct first;
    InstalledProduct second;
    ptree noVendor = first.Row("NoVendor");
    noVendor.erase("Vendor");
    ptree noCode = first.Row("ignored");
    noCode.erase("ProductCode");
    auto catalogue = Make({noCode, NotInstalledRow("Twice"), second.Row("Twice"), noVendor});

    // An entry without a code does not hide the others.
    ASSERT_TRUE(catalogue.IsProductInstalled("Twice"));
    ProductInfo info;
    ASSERT_TRUE(catalogue.GetProductInfo("Twice", info));
    EXPECT_EQ(info.installDir, second.folder.Path());

    EXPECT_TRUE(catalogue.IsProductInstalled("NoVendor"));
    EXPECT_FALSE(catalogue.GetProductInfo("NoVendor", info));
    EXPECT_FALSE(catalogue.IsProductInstalled(""));
}

TEST_F(Catalogue, AllProductsShareTheFirstInstallSource)
{
    InstalledProduct supported;
    InstalledProduct plain;
    plain.key.SetText(L"OSOURCE", L"from-plain");
    ptree supportedRow = supported.Row("KvA");
    supportedRow.put("MinimumSupportedVersion", "1.0.0.0");
    auto catalogue = Make({NotInstalledRow("KvGone"), supportedRow, plain.Row("KvB"), plain.Row("KvA")});

    EXPECT_EQ(catalogue.GetInstallSource(""), L"from-plain");
    EXPECT_EQ(catalogue.GetInstallSource("KvB"), L"from-plain");
    // Both KvA entries are installed; the second one has the source.
    EXPECT_EQ(catalogue.GetInstallSource("KvA"), L"from-plain");
    EXPECT_EQ(catalogue.GetInstallSource("KvGone"), L"");

    std::vector<ProductInfo> products(1);
    catalogue.GetProducts(products, false);
    ASSERT_EQ(products.size(), 4u) << "appended, never cleared";
    EXPECT_EQ(products[1].code, "KvA");
    EXPECT_EQ(products[2].code, "KvB");
    EXPECT_EQ(products[3].code, "KvA");
    for (size_t i = 1; i < products.size(); ++i) {
        EXPECT_EQ(products[i].installSource, L"from-plain");
    }

    std::vector<ProductInfo> supportedOnly;
    catalogue.GetProducts(supportedOnly, true);
    ASSERT_EQ(supportedOnly.size(), 1u);
    EXPECT_EQ(supportedOnly[0].installDir, supported.folder.Path());

    std::map<std::string, ProductInfo> byCode;
    byCode["KvB"].productName = "kept";
    catalogue.CollectProducts(byCode);
    ASSERT_EQ(byCode.size(), 2u);
    EXPECT_EQ(byCode["KvB"].productName, "kept");
    EXPECT_EQ(byCode["KvA"].installDir, supported.folder.Path()) << "the first record of a code stays";
}

TEST_F(Catalogue, LaunchStartsTheMainExecutableByItsFullPath)
{
    // A name no search path knows: only the full path can start it.
    InstalledProduct product(UniqueName(L"KvLaunch") + L".exe");
    auto catalogue = Make({product.Row("KvRun"), NotInstalledRow("KvGone")});
    const std::wstring marker = product.folder / L"started.txt";

    ASSERT_TRUE(catalogue.LaunchProduct("KvRun", L"--touch \"" + marker + L"\" one \"two words\""));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string started;
    for (int i = 0; i < 100 && started.empty(); ++i) {
        started = ReadBytes(marker);
        if (started.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_EQ(started, "one|two words");
    EXPECT_FALSE(catalogue.LaunchProduct("KvGone", L""));
    EXPECT_FALSE(catalogue.LaunchProduct("KvNone", L""));
}

TEST(CatalogueWithoutSource, AnswersNothingAndNeverThrows)
{
    CProductList catalogue(L"", "NoSuchBrand");
    EXPECT_FALSE(catalogue.IsProductInstalled("QXPDF"));
    ProductInfo info;
    EXPECT_FALSE(catalogue.GetProductInfo("QXPDF", info));
    std::vector<ProductInfo> products;
    catalogue.GetProducts(products, false);
    EXPECT_TRUE(products.empty());
    EXPECT_EQ(catalogue.GetInstallSource(""), L"");
    EXPECT_FALSE(catalogue.LaunchProduct("QXPDF", L""));
    EXPECT_FALSE(catalogue.IsSupportedVersion("QXPDF"));
}
