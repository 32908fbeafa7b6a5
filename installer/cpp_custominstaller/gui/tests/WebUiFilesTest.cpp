// Writes Korvane.exe's installer page out as its window gets it, and takes it away again.
#include "installer/cpp_custominstaller/gui/WebUiFiles.h"

#include "installer/cpp_custominstaller/page/InstallerPageFiles.h"
#include "tests/support/DataModule.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace CustomInstaller::Gui;
namespace fs = std::filesystem;

namespace {

std::set<fs::path> EntriesBelow(const fs::path& folder)
{
    std::set<fs::path> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        entries.insert(fs::relative(entry.path(), folder));
    }
    return entries;
}

std::string ReadBytes(const fs::path& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

class WebUiFilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_korvane);
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

    const KvTest::CDataModule m_korvane = KvTest::LoadDataModule(KvTest::BuiltProgramPath(KV_KORVANE_EXE));
    const fs::path m_temp = fs::temp_directory_path() / ("kv-webui-" + std::to_string(::GetCurrentProcessId()));
    const std::set<fs::path> m_onlyTheNeighbour{"neighbour.txt"};
};

TEST_F(WebUiFilesTest, EachUnpackGetsAFreshFolderAndItsHolderRemovesExactlyThat)
{
    auto first = UnpackWebUi(m_korvane.Get());
    auto second = UnpackWebUi(m_korvane.Get());
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->Folder(), second->Folder());
    std::set<fs::path> pageEntries;
    for (const CPageFile& file : PageFiles) {
        for (fs::path path(file.path); !path.empty(); path = path.parent_path()) {
            pageEntries.insert(path);
        }
    }
    for (const CWebUiFiles* files : {first.get(), second.get()}) {
        const fs::path folder(files->Folder());
        EXPECT_TRUE(fs::equivalent(folder.parent_path(), m_temp));
        EXPECT_EQ(fs::path(files->IndexPath()), folder / "index.html");
        EXPECT_EQ(EntriesBelow(folder), pageEntries);
        for (const CPageFile& file : PageFiles) {
            const fs::path built(KvTest::BuiltProgramPath(KV_PAGE_DIR "/" + fs::path(file.path).generic_string()));
            EXPECT_EQ(ReadBytes(folder / file.path), ReadBytes(built)) << built.string();
        }
    }
    const fs::path firstFolder(first->Folder());
    first.reset();
    EXPECT_FALSE(fs::exists(firstFolder));
    EXPECT_TRUE(fs::exists(fs::path(second->IndexPath())));
    second.reset();
    EXPECT_EQ(EntriesBelow(m_temp), m_onlyTheNeighbour);
}

TEST_F(WebUiFilesTest, AFileOrFolderThatCannotBeWrittenFailsTheUnpackAndLeavesNothing)
{
    // This program holds the page's first file and none of the others.
    EXPECT_EQ(UnpackWebUi(), nullptr);
    EXPECT_EQ(UnpackWebUi(nullptr), nullptr);
    // A folder that does not exist, and one too long for GetTempPathW.
    for (const std::wstring& name : {std::wstring(L"missing"), std::wstring(MAX_PATH, L'x')}) {
        UseTemporaryFolder((m_temp / name).wstring() + L"\\");
        EXPECT_EQ(UnpackWebUi(m_korvane.Get()), nullptr);
    }
    EXPECT_EQ(EntriesBelow(m_temp), m_onlyTheNeighbour);
}

} // namespace
