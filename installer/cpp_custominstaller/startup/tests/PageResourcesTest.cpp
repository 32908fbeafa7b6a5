// Korvane.exe carries every file of the installer page under the id and type
// that the page's resource table gives it, with the built file's bytes.
#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"
#include "tests/support/DataModule.h"
#include "tests/support/TestProcess.h"

#include <boost/json.hpp>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadHostFile(const std::string& hostPath)
{
    std::ifstream in(std::filesystem::path(KvTest::BuiltProgramPath(hostPath)), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(PageResourcesTest, KorvaneCarriesEveryPageFileUnderItsIdAndType)
{
    const KvTest::CDataModule korvane = KvTest::LoadDataModule(KvTest::BuiltProgramPath(KV_KORVANE_EXE));
    ASSERT_TRUE(korvane);
    const auto table = boost::json::parse(ReadHostFile(KV_PAGE_TABLE)).as_array();
    ASSERT_EQ(table.size(), 22u);
    for (const auto& value : table) {
        const auto& entry = value.as_object();
        const std::string file(entry.at("file").as_string());
        SCOPED_TRACE(file);
        const auto& type = entry.at("type");
        const std::wstring typeName = type.is_string() ? Cxx::Core::Utils::Utf8ToWideString(std::string(type.as_string())) : L"";
        const HRSRC found = ::FindResourceW(korvane.Get(), MAKEINTRESOURCEW(entry.at("id").as_int64()),
                                            type.is_string() ? typeName.c_str() : MAKEINTRESOURCEW(type.as_int64()));
        ASSERT_NE(found, nullptr);
        const void* data = ::LockResource(::LoadResource(korvane.Get(), found));
        ASSERT_NE(data, nullptr);
        const std::string expected = ReadHostFile(std::string(KV_PAGE_DIR) + "/" + file);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(std::string(static_cast<const char*>(data), ::SizeofResource(korvane.Get(), found)), expected);
    }
}
