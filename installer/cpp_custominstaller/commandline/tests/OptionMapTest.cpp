#include "installer/cpp_custominstaller/commandline/COptionMap.h"

#include <gtest/gtest.h>

#include <string>

using CustomInstaller::Core::CommandLine::COptionMap;

TEST(OptionMap, ParseReplacesTheMapAndTellsWhetherAnyOptionWasFound)
{
    COptionMap map(L"/S /LANG=de");
    EXPECT_TRUE(map.Find(L"/S"));

    EXPECT_FALSE(map.Parse(L"setup.exe plain words"));
    EXPECT_TRUE(map.Options().empty());

    EXPECT_TRUE(map.Parse(L"/VS"));
    EXPECT_FALSE(map.Find(L"/S"));
    EXPECT_TRUE(map.Find(L"/VS"));
}

TEST(OptionMap, NamesAreCaseSensitiveAndAbsentNamesLeaveTheValueAlone)
{
    COptionMap map(L"/s /Lang=fr /LANG=de");
    EXPECT_FALSE(map.Find(L"/S"));
    EXPECT_TRUE(map.Find(L"/s"));

    std::wstring value = L"untouched";
    EXPECT_FALSE(map.GetValue(L"/OSOURCE", value));
    EXPECT_EQ(value, L"untouched");
    EXPECT_TRUE(map.GetValue(L"/LANG", value));
    EXPECT_EQ(value, L"de");
    EXPECT_TRUE(map.GetValue(L"/Lang", value));
    EXPECT_EQ(value, L"fr");
}
