#include "productlist/Location.h"
#include "productlist/tests/TestSupport.h"

#include "cxx/core/SystemUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

using namespace ProductList;
using namespace ProductList::Testing;
using boost::property_tree::ptree;

namespace {

std::optional<LocationInfo> Resolve(const ptree& entry)
{
    const auto location = ResolveLocation(entry);
    LocationInfo info;
    if (!location || !location->GetInfo(info)) {
        return std::nullopt;
    }
    EXPECT_TRUE(location->IsFound());
    return info;
}

class UninstallLocation : public ::testing::Test {
protected:
    ptree Row(const std::wstring& exe = L"Product.exe") const
    {
        ptree entry = Entry("X");
        entry.put("UninstallLocation.UninstallKeyName", Narrow(keyName));
        entry.put("UninstallLocation.MainExecutable", Narrow(exe));
        return entry;
    }

    const std::wstring keyName = UniqueName(L"KvTest Uninstall");
    CTempFolder install;
    const std::wstring exePath = InstallProbe(install.Path(), L"Product.exe");
};

} // namespace

TEST_F(UninstallLocation, KeyInThe64BitView)
{
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View64);
    key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\"");
    key.SetText(L"InstallLocation", install.Path() + L"\\");

    const auto info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path() + L"\\") << "the value's trailing backslash stays";
    EXPECT_EQ(info->exeName, L"Product.exe");
    EXPECT_EQ(info->keyPath, uninstallKeyPrefix + keyName);
    EXPECT_EQ(info->exePath, install.Path() + L"\\\\Product.exe");
}

TEST_F(UninstallLocation, KeyOnlyInThe32BitViewIsTheWow6432NodeKey)
{
    // What a 32-bit installer writes on 64-bit Windows.
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View32);
    key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\"");
    key.SetText(L"InstallLocation", install.Path());

    const auto info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->keyPath, uninstallKeyPrefix32 + keyName);
    EXPECT_EQ(info->dir, install.Path());
    EXPECT_EQ(info->exePath, exePath);
}

TEST_F(UninstallLocation, FolderValuesAreReadInBothViewsInTheirOrder)
{
    CMachineKey key64(uninstallKeyPrefix + keyName, ERegistryView::View64);
    key64.SetText(L"UninstallString", L"C:\\nowhere\\uninst.exe");
    CMachineKey key32(uninstallKeyPrefix + keyName, ERegistryView::View32);

    key32.SetText(L"INSTDIR", install.Path());
    auto info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());
    EXPECT_EQ(info->keyPath, uninstallKeyPrefix + keyName);

    // InstallPath comes before INSTDIR, InstallLocation before both.
    key64.SetText(L"INSTDIR", L"C:\\nowhere");
    key32.SetText(L"InstallPath", install.Path());
    info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());

    key64.SetText(L"InstallPath", L"C:\\nowhere");
    key32.SetText(L"InstallLocation", install.Path());
    info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());

    key64.SetText(L"InstallLocation", L"C:\\nowhere");
    EXPECT_FALSE(Resolve(Row())) << "the 64-bit view's folder comes first";
}

TEST_F(UninstallLocation, FolderFromTheUninstallString)
{
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View32);

    key.SetText(L"UninstallString", install.Path() + L"\\uninst.exe");
    auto info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());

    // Quotes and arguments are not part of the folder.
    key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\" /S _?=C:\\other");
    info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());
    EXPECT_EQ(info->exePath, exePath);

    key.SetText(L"UninstallString", L"uninst.exe");
    EXPECT_FALSE(Resolve(Row()));
}

TEST_F(UninstallLocation, OnlyStringValuesAreRead)
{
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View32);
    key.SetDword(L"UninstallString", 1);
    key.SetText(L"InstallLocation", install.Path());
    EXPECT_FALSE(Resolve(Row())) << "a number is no uninstall string";

    key.SetText(L"UninstallString", L"\"C:\\nowhere\\uninst.exe\"");
    key.SetDword(L"InstallLocation", 7);
    key.SetText(L"INSTDIR", install.Path(), REG_EXPAND_SZ);
    const auto info = Resolve(Row());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dir, install.Path());
}

TEST_F(UninstallLocation, MainExecutableMustBeAFileInTheFolder)
{
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View32);
    key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\"");
    key.SetText(L"InstallLocation", install.Path() + L"\\app");
    std::filesystem::create_directories(install / L"app\\Folder.exe");
    std::filesystem::copy_file(exePath, install / L"Outside.exe");
    InstallProbe(install / L"app", L"Product.exe");

    EXPECT_TRUE(Resolve(Row()));
    EXPECT_FALSE(Resolve(Row(L"Folder.exe"))) << "a folder is no executable";
    EXPECT_FALSE(Resolve(Row(L"Missing.exe")));
    for (const wchar_t* outside : {L"..\\Outside.exe", L"../Outside.exe", L"..", L"sub\\Product.exe",
                                   L"C:Outside.exe", L""}) {
        EXPECT_FALSE(Resolve(Row(outside))) << Narrow(outside);
    }
    const std::wstring absolute = install / L"Outside.exe";
    EXPECT_FALSE(Resolve(Row(absolute)));
}

TEST_F(UninstallLocation, MissingKeyOrFieldsAreNotFound)
{
    EXPECT_FALSE(Resolve(Row())) << "no key";
    CMachineKey key(uninstallKeyPrefix + keyName, ERegistryView::View64);
    key.SetText(L"InstallLocation", install.Path());
    EXPECT_FALSE(Resolve(Row())) << "no uninstall string";

    key.SetText(L"UninstallString", L"\"" + install.Path() + L"\\uninst.exe\"");
    ptree noExecutable = Entry("X");
    noExecutable.put("UninstallLocation.UninstallKeyName", Narrow(keyName));
    EXPECT_FALSE(Resolve(noExecutable));
    EXPECT_FALSE(Resolve(Entry("X"))) << "no location at all";
    EXPECT_EQ(ResolveLocation(Entry("X")), nullptr);
}

namespace {

class PathLocation : public ::testing::Test {
protected:
    ptree Row(const std::string& field, const std::wstring& name, const std::string& location = "PathLocation") const
    {
        ptree entry = Entry("X");
        entry.put(location + "." + field, Narrow(name));
        return entry;
    }

    const std::wstring appName = UniqueName(L"KvTest") + L".exe";
    CTempFolder install;
    const std::wstring exePath = InstallProbe(install.Path(), L"Product.exe");
};

} // namespace

TEST_F(PathLocation, AppPathsInEitherView)
{
    {
        CMachineKey key(appPathsKeyPrefix + appName, ERegistryView::View64);
        key.SetText(L"", exePath);
        const auto info = Resolve(Row("Path", appName));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->dir, install.Path());
        EXPECT_EQ(info->exeName, L"Product.exe");
        EXPECT_EQ(info->exePath, exePath);
        EXPECT_TRUE(info->keyPath.empty());
    }
    EXPECT_FALSE(Resolve(Row("Path", appName)));
    CMachineKey key(appPathsKeyPrefix + appName, ERegistryView::View32);
    key.SetText(L"", exePath);
    EXPECT_TRUE(Resolve(Row("Path", appName)));
}

TEST_F(PathLocation, EnvironmentVariablesAreExpandedWithinTheBuffer)
{
    CMachineKey key(appPathsKeyPrefix + appName, ERegistryView::View32);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KV_TEST_PRODUCT_DIR", install.Path().c_str()));
    key.SetText(L"", L"%KV_TEST_PRODUCT_DIR%\\Product.exe", REG_EXPAND_SZ);
    const auto info = Resolve(Row("Path", appName));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->exePath, exePath);

    // An expansion longer than a path may be is refused, not cut.
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KV_TEST_LONG", std::wstring(300, L'x').c_str()));
    key.SetText(L"", L"%KV_TEST_PRODUCT_DIR%\\Product.exe%KV_TEST_LONG%", REG_EXPAND_SZ);
    EXPECT_FALSE(Resolve(Row("Path", appName)));
}

TEST_F(PathLocation, PathWithoutAFolderOrToAFolderIsNotFound)
{
    CMachineKey key(appPathsKeyPrefix + appName, ERegistryView::View32);
    ASSERT_TRUE(::SetCurrentDirectoryW(install.Path().c_str()));
    key.SetText(L"", L"Product.exe");
    EXPECT_FALSE(Resolve(Row("Path", appName)));
    key.SetText(L"", install.Path());
    EXPECT_FALSE(Resolve(Row("Path", appName)));
    key.SetText(L"", install / L"Missing.exe");
    EXPECT_FALSE(Resolve(Row("Path", appName)));
}

TEST_F(PathLocation, BitnessKeysServeWhenThePlainKeyIsAbsent)
{
    const std::wstring name32 = UniqueName(L"KvTest32") + L".exe";
    const std::wstring name64 = UniqueName(L"KvTest64") + L".exe";
    const std::wstring exe32 = InstallProbe(install / L"x86", L"P32.exe");
    const std::wstring exe64 = InstallProbe(install / L"x64", L"P64.exe");
    CMachineKey key32(appPathsKeyPrefix + name32, ERegistryView::View32);
    key32.SetText(L"", exe32);
    CMachineKey key64(appPathsKeyPrefix + name64, ERegistryView::View32);
    key64.SetText(L"", exe64);

    ptree entry = Row("Path32", name32);
    entry.put("PathLocation.Path64", Narrow(name64));
    const auto info = Resolve(entry);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->exePath, Cxx::Core::Utils::Is64BitWindows() ? exe64 : exe32);

    entry.put("PathLocation.Path", Narrow(appName));
    EXPECT_FALSE(Resolve(entry)) << "the plain key wins even when it finds nothing";
}

TEST_F(PathLocation, LocationKeysMatchInAnyCaseAndTheFirstOneCounts)
{
    CMachineKey key(appPathsKeyPrefix + appName, ERegistryView::View32);
    key.SetText(L"", exePath);
    EXPECT_TRUE(Resolve(Row("Path", appName, "pathlocation")));
    EXPECT_TRUE(Resolve(Row("Path", appName, "PATHLOCATION")));

    ptree entry = Entry("X");
    entry.put("UninstallLocation.UninstallKeyName", "KvTest no such key");
    entry.put("UninstallLocation.MainExecutable", "Product.exe");
    entry.put("PathLocation.Path", Narrow(appName));
    EXPECT_FALSE(Resolve(entry)) << "only the first location is tried";
}

namespace {

class MainDirLocation : public ::testing::Test {
protected:
    ptree Row(bool withProductId) const
    {
        ptree entry = Entry("X");
        entry.put("MainDirLocation.MainDirKeyName", Narrow(dirKeyPath));
        entry.put("MainDirLocation.MainDirValueName", "InstallDir");
        entry.put("MainDirLocation.MainExecutable", "Product.exe");
        if (withProductId) {
            entry.put("MainDirLocation.ProductIDKeyName", Narrow(dirKeyPath));
            entry.put("MainDirLocation.ProductIDValueName", "ProductID");
        }
        return entry;
    }

    const std::wstring dirKeyPath = L"SOFTWARE\\KvTests\\" + UniqueName(L"MainDir");
    CTempFolder install;
    const std::wstring exePath = InstallProbe(install.Path(), L"Product.exe");
};

} // namespace

TEST_F(MainDirLocation, ProductIdNamesTheUninstallKeyOfItsView)
{
    {
        CMachineKey key(dirKeyPath, ERegistryView::View64);
        key.SetText(L"InstallDir", install.Path());
        key.SetText(L"ProductID", L"{KV-64}");
        const auto info = Resolve(Row(true));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->keyPath, uninstallKeyPrefix + L"{KV-64}");
        EXPECT_EQ(info->dir, install.Path());
        EXPECT_EQ(info->exePath, exePath);
    }
    CMachineKey key(dirKeyPath, ERegistryView::View32);
    key.SetText(L"InstallDir", install.Path());
    key.SetText(L"ProductID", L"{KV-32}");
    auto info = Resolve(Row(true));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->keyPath, uninstallKeyPrefix32 + L"{KV-32}");

    info = Resolve(Row(false));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->keyPath.empty());
}

TEST_F(MainDirLocation, MissingFolderOrExecutableIsNotFound)
{
    EXPECT_FALSE(Resolve(Row(false)));
    CMachineKey key(dirKeyPath, ERegistryView::View32);
    key.SetText(L"InstallDir", install / L"elsewhere");
    EXPECT_FALSE(Resolve(Row(false)));
    key.SetText(L"InstallDir", install.Path());
    EXPECT_TRUE(Resolve(Row(false)));
    ptree outside = Row(false);
    outside.put("MainDirLocation.MainExecutable", "..\\Product.exe");
    EXPECT_FALSE(Resolve(outside));
}
