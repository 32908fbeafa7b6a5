#include "productlist/Catalogue.h"
#include "productlist/tests/TestSupport.h"

#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "cxx/security/crypt/tests/TestCipher.h"

#include <gtest/gtest.h>

#include <boost/algorithm/string/predicate.hpp>

#include <filesystem>
#include <set>

using namespace ProductList;
using namespace ProductList::Testing;
using boost::property_tree::ptree;

namespace {

std::vector<std::string> Codes(const ptree& catalogue)
{
    std::vector<std::string> codes;
    const auto applications = catalogue.get_child_optional("Applications");
    if (applications) {
        for (const auto& [key, entry] : *applications) {
            codes.push_back(entry.get<std::string>("ProductCode", ""));
        }
    }
    return codes;
}

const std::vector<std::string> listOnly = {"LISTONLY"};
const std::vector<std::string> appsOnly = {"APPSONLY"};

class CatalogueSources : public ::testing::Test {
protected:
    // Loads with the program's folder standing at programDir.
    std::vector<std::string> Load(const std::wstring& listFile, const std::string& key = "")
    {
        return Codes(LoadCatalogue(listFile, key, programDir.Path()));
    }
    void WriteApps() { WriteListFile(programDir / appsFileName, {Entry("APPSONLY")}); }

    CTempFolder programDir;
    CTempFolder other;
};

} // namespace

TEST_F(CatalogueSources, BuiltInListNamesTheFamilyWhenNoFileIsThere)
{
    const ptree catalogue = LoadCatalogue(L"", "", programDir.Path());
    const auto codes = Codes(catalogue);
    ASSERT_EQ(codes.size(), 9u);
    EXPECT_EQ(std::set<std::string>(codes.begin(), codes.end()).size(), 9u) << "codes repeat";
    for (const char* code : {"QXPDF", "NQ", "BL", "QXYB", "TRM"}) {
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
    }

    for (const auto& [key, entry] : catalogue.get_child("Applications")) {
        const std::string code = entry.get<std::string>("ProductCode");
        int locations = 0;
        for (const auto& [name, child] : entry) {
            if (boost::algorithm::ends_with(name, "Location")) {
                ++locations;
            }
        }
        EXPECT_EQ(locations, 1) << code;
        for (const char* field : {"Vendor", "ProductName", "ProgramDataPath"}) {
            std::string text;
            EXPECT_TRUE(GetEntryText(entry, field, text)) << code << " " << field;
        }
    }

    const ptree& pdf = catalogue.get_child("Applications").begin()->second;
    EXPECT_EQ(pdf.get<std::string>("ProductCode"), "QXPDF");
    EXPECT_EQ(pdf.get<std::string>("Vendor"), "Vellix");
    EXPECT_EQ(pdf.get<std::string>("ProductName"), "Vellix PDF Pro");
    EXPECT_EQ(pdf.get<std::string>("UninstallLocation.UninstallKeyName"), "Vellix PDF Pro");
    EXPECT_EQ(pdf.get<std::string>("UninstallLocation.MainExecutable"), "VellixPDF.exe");
}

TEST_F(CatalogueSources, UnknownBuiltInKeyGivesAnEmptyCatalogue)
{
    EXPECT_TRUE(LoadCatalogue(L"", "NoSuchBrand", programDir.Path()).empty());
    EXPECT_TRUE(Load(L"", "NoSuchBrand").empty());
}

TEST(CatalogueText, OnlyOuterParenthesesAreStripped)
{
    EXPECT_EQ(StripCatalogueParentheses(R"(((( {"Applications":[]} ))))"), R"( {"Applications":[]} )");
    EXPECT_EQ(StripCatalogueParentheses("({})"), "{}");
    EXPECT_EQ(StripCatalogueParentheses("{(x)}"), "{(x)}");
    EXPECT_EQ(StripCatalogueParentheses("((("), "");
    EXPECT_EQ(StripCatalogueParentheses("(()"), "");
    EXPECT_EQ(StripCatalogueParentheses(""), "");
}

TEST_F(CatalogueSources, ListFileComesFirst)
{
    WriteApps();
    WriteListFile(other / L"list.dat", {Entry("LISTONLY")});
    EXPECT_EQ(Load(other / L"list.dat"), listOnly);
}

TEST_F(CatalogueSources, UnreadableListFilesFallToTheAppsFile)
{
    WriteApps();
    // Missing, empty, under another key, not encrypted at all.
    EXPECT_EQ(Load(other / L"missing.dat"), appsOnly);
    WriteBytes(other / L"empty.dat", "");
    EXPECT_EQ(Load(other / L"empty.dat"), appsOnly);
    WriteBytes(other / L"other-key.dat",
               Cxx::Security::Testing::EncryptListText(R"({"Applications":[{"ProductCode":"X"}]})", "not the key"));
    EXPECT_EQ(Load(other / L"other-key.dat"), appsOnly);
    WriteBytes(other / L"plain.dat", R"({"Applications":[{"ProductCode":"PLAIN"}]})");
    EXPECT_EQ(Load(other / L"plain.dat"), appsOnly);
    // A folder of that name does not read as a file.
    EXPECT_EQ(Load(other.Path()), appsOnly);
}

TEST_F(CatalogueSources, ListFileThatIsNotJsonFallsToTheNextSource)
{
    WriteApps();
    WriteEncryptedText(other / L"text.dat", "this is not JSON");
    EXPECT_EQ(Load(other / L"text.dat"), appsOnly);
    WriteEncryptedText(other / L"garbage.dat", R"({"Applications":[{"ProductCode":"X"}]} trailing)");
    EXPECT_EQ(Load(other / L"garbage.dat"), appsOnly);

    // The same without an apps file: the built-in list answers.
    std::filesystem::remove(programDir / appsFileName);
    EXPECT_EQ(Load(other / L"text.dat").size(), 9u);
}

TEST_F(CatalogueSources, BrokenAppsFilesFallToTheBuiltInList)
{
    WriteBytes(programDir / appsFileName, "");
    EXPECT_EQ(Load(L"").size(), 9u);
    WriteEncryptedText(programDir / appsFileName, "[not json");
    EXPECT_EQ(Load(L"").size(), 9u);
    WriteBytes(programDir / appsFileName, std::string(37, 'x'));
    EXPECT_EQ(Load(L"").size(), 9u);
    WriteApps();
    EXPECT_EQ(Load(L""), appsOnly);
}

TEST(ListFile, ReadsExactlyThePlainTextAndEmptiesItOnFailure)
{
    CTempFolder folder;
    const std::string text = "{\"Applications\":[]}\n";
    WriteEncryptedText(folder / L"list.dat", text);
    std::string plain;
    ASSERT_TRUE(ReadEncryptedListFile(folder / L"list.dat", catalogueKey, plain));
    EXPECT_EQ(plain, text);

    EXPECT_FALSE(ReadEncryptedListFile(folder / L"list.dat", "another key here", plain));
    EXPECT_TRUE(plain.empty());
    plain = "stale";
    EXPECT_FALSE(ReadEncryptedListFile(L"", catalogueKey, plain));
    EXPECT_TRUE(plain.empty());
}

TEST(ListFile, FilesAboveTheBoundAreRefusedUnread)
{
    CTempFolder folder;
    // Valid lists padded to just under and just over the bound (the cipher adds one block).
    const std::string head = "{\"Applications\":[]}";
    for (const auto& [padding, readable] : {std::pair{MaxListFileSize - 64, true}, std::pair{MaxListFileSize, false}}) {
        const std::string text = head + std::string(static_cast<size_t>(padding) - head.size(), ' ');
        WriteEncryptedText(folder / L"padded.dat", text);
        std::string plain;
        EXPECT_EQ(ReadEncryptedListFile(folder / L"padded.dat", catalogueKey, plain), readable) << padding;
        EXPECT_EQ(plain.size(), readable ? text.size() : 0u);
    }

    // Over 4 GiB, whose size a 32-bit buffer would truncate (sparse: no disk is used).
    const std::wstring huge = folder / L"huge.dat";
    {
        const Cxx::Core::CFileHandle file(
            ::CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.IsValid());
        LARGE_INTEGER size;
        size.QuadPart = (4ll << 30) + 16;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get()));
    }
    std::string plain = "stale";
    EXPECT_FALSE(ReadEncryptedListFile(huge, catalogueKey, plain));
    EXPECT_TRUE(plain.empty());
}

TEST(AppsBesideTheProgram, ProgramReadsTheAppsFileInItsOwnFolder)
{
    CTempFolder folder;
    const std::wstring exeName = L"probe.exe";
    InstallProbe(folder.Path(), exeName);
    CMachineKey dirKey(L"SOFTWARE\\KvTests\\" + UniqueName(L"apps"), ERegistryView::View32);
    dirKey.SetText(L"Dir", folder.Path());

    ptree entry = Entry("KVAPPS");
    entry.put("MainDirLocation.MainDirKeyName", Narrow(dirKey.Path()));
    entry.put("MainDirLocation.MainDirValueName", "Dir");
    entry.put("MainDirLocation.MainExecutable", Narrow(exeName));

    auto installed = [&] {
        DWORD exitCode = 0;
        EXPECT_TRUE(Cxx::Core::Utils::ExecuteAndGetExitCode(folder / exeName, L"--installed KVAPPS", exitCode, true));
        return exitCode;
    };

    EXPECT_EQ(installed(), 20u) << "found without an apps file";
    WriteListFile(folder / appsFileName, {entry});
    EXPECT_EQ(installed(), 10u);
    WriteEncryptedText(folder / appsFileName, "corrupt");
    EXPECT_EQ(installed(), 20u);
}
