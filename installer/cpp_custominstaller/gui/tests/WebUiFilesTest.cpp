// Writes Korvane.exe's installer page out as its window gets it, and takes it away again.
#include "installer/cpp_custominstaller/gui/WebUiFiles.h"

#include "installer/cpp_custominstaller/page/InstallerPageFiles.h"
#include "tests/support/DataModule.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

using namespace CustomInstaller::Gui;
namespace fs = std::filesystem;

namespace {

std::set<std::wstring> EntriesBelow(const fs::path& folder)
{
    std::set<std::wstring> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        entries.insert(fs::relative(entry.path(), folder).wstring());
    }
    return entries;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WebUiFilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_temp = fs::temp_directory_path() / ("kv-webui-" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(m_temp);
        ASSERT_TRUE(fs::create_directories(m_temp));
        std::ofstream(m_temp / "neighbour.txt") << "not the page's";
        UseTemporaryFolder(m_temp.wstring() + L"\\");
    }
    void TearDown() override { fs::remove_all(m_temp); }

    // What GetTempPathW answers from now on.
    static void UseTemporaryFolder(const std::wstring& folder)
    {
        ::SetEnvironmentVariableW(L"TMP", folder.c_str());
        ::SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    void ExpectOnlyTheNeighbourLeft() const
    {
        EXPECT_EQ(EntriesBelow(m_temp), std::set<std::wstring>{L"neighbour.txt"});
    }

    fs::path m_temp;
};

TEST_F(WebUiFilesTest, EachUnpackGetsAFreshFolderAndItsHolderRemovesExactlyThat)
{
    const KvTest::CDataModule korvane = KvTest::LoadDataModule(KvTest::BuiltProgramPath(KV_KORVANE_EXE));
    ASSERT_TRUE(korvane);
    auto first = UnpackWebUi(korvane.Get());
    auto second = UnpackWebUi(korvane.Get());
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first->Folder(), second->Folder());

    std::set<std::wstring> pageEntries;
    for (const CPageFile& file : PageFiles) {
        for (fs::path path(file.path); !path.empty(); path = path.parent_path()) {
            pageEntries.insert(path.wstring());
        }
    }
    for (const CWebUiFiles* files : {first.get(), second.get()}) {
        const fs::path folder(files->Folder());
        SCOPED_TRACE(folder.string());
        EXPECT_TRUE(fs::equivalent(folder.parent_path(), m_temp));
        EXPECT_EQ(fs::path(files->IndexPath()), folder / "index.html");
        EXPECT_EQ(EntriesBelow(folder), pageEntries);
        for (const CPageFile& file : PageFiles) {
            std::wstring built = file.path;
            std::replace(built.begin(), built.end(), L'\\', L'/');
            const std::string expected =
                ReadBytes(fs::path(KvTest::BuiltProgramPath(KV_PAGE_DIR "/" + fs::path(built).string())));
            EXPECT_FALSE(expected.empty()) << fs::path(built).string();
            EXPECT_EQ(ReadBytes(folder / file.path), expected) << fs::path(built).string();
        }
    }

    const fs::path firstFolder(first->Folder());
    first.reset();
    EXPECT_FALSE(fs::exists(firstFolder));
    EXPECT_TRUE(fs::exists(fs::path(second->IndexPath())));
    second.reset();
    ExpectOnlyTheNeighbourLeft();
}

TEST_F(WebUiFilesTest, AFileOrFolderThatCannotBeWrittenFailsTheUnpackAndLeavesNothing)
{
    // This program holds the page's first file and none of the others.
    EXPECT_EQ(UnpackWebUi(), nullptr);
    ExpectOnlyTheNeighbourLeft();

    const KvTest::CDataModule korvane = KvTest::LoadDataModule(KvTest::BuiltProgramPath(KV_KORVANE_EXE));
    ASSERT_TRUE(korvane);
    EXPECT_EQ(UnpackWebUi(nullptr), nullptr);
    for (const std::wstring& temp : {m_temp.wstring() + L"\\missing\\", m_temp.wstring() + L"\\" +
                                                                             std::wstring(MAX_PATH, L'x') + L"\\"}) {
        UseTemporaryFolder(temp);
        EXPECT_EQ(UnpackWebUi(korvane.Get()), nullptr) << temp.size();
    }
    ExpectOnlyTheNeighbourLeft();
}

} // namespace
