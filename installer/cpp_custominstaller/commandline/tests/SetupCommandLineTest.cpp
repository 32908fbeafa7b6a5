#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"
#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"

#include <gtest/gtest.h>

using namespace CustomInstaller::Core::CommandLine;

namespace {

CInstallationDetails Details(const std::wstring& commandLine)
{
    return CSetupCommandLine(commandLine).GetInstallationDetails();
}

} // namespace

TEST(SetupCommandLine, EmptyCommandLineGivesTheDefaults)
{
    const CInstallationDetails details = Details(L"");
    EXPECT_EQ(details.gaTrackingUid, L"");
    EXPECT_EQ(details.buildId, L"0");
    EXPECT_EQ(details.tracking, L"");
    EXPECT_EQ(details.oSource, L"");
    EXPECT_EQ(details.language, GetDefaultInstallerLanguage());
    EXPECT_FALSE(details.language.empty());
    EXPECT_EQ(details.delay, 0);
    EXPECT_EQ(details.launchDelay, 0);
    EXPECT_FALSE(details.noUi || details.silent || details.verySilent || details.disablePostPages ||
                 details.update);
}

TEST(SetupCommandLine, EverySpellingOfTheSeparatorGivesTheValue)
{
    for (const wchar_t* commandLine :
         {L"/LANG=de", L"/LANG de", L"/LANG = de", L"/LANG  =de", L"/LANG=\"de\"", L"/LANG = \"de\"",
          L"/LANG=de /LANG=fr", L"x.exe /LANG de /LANG fr"}) {
        EXPECT_EQ(Details(commandLine).language, L"de") << commandLine;
    }
}

TEST(SetupCommandLine, TextValues)
{
    const CInstallationDetails details =
        Details(L"/GA_TRACKING_UID=\"0123\" /TRACKING t1 /OSOURCE \"a b\" /BUILD_ID=77");
    EXPECT_EQ(details.gaTrackingUid, L"0123");
    EXPECT_EQ(details.tracking, L"t1");
    EXPECT_EQ(details.oSource, L"a b");
    EXPECT_EQ(details.buildId, L"77");

    EXPECT_EQ(Details(L"/OSOURCE a b").oSource, L"a");
    EXPECT_EQ(Details(L"/BUILD_ID= /S").buildId, L"0");
    EXPECT_EQ(Details(L"/BUILD_ID=\"\"").buildId, L"0");
    EXPECT_EQ(Details(L"/LANG=\"\"").language, GetDefaultInstallerLanguage());
}

TEST(SetupCommandLine, ValuesStartingWithAnOptionPrefixNeedQuotes)
{
    const CSetupCommandLine unquoted(L"/OSOURCE -x /TRACKING /y");
    EXPECT_EQ(unquoted.ReadString(L"/OSOURCE"), L"");
    EXPECT_EQ(unquoted.ReadString(L"/TRACKING"), L"");
    EXPECT_EQ(unquoted.ReadString(L"-x"), L"");
    EXPECT_EQ(Details(L"/OSOURCE -x").oSource, L"");

    const CInstallationDetails quoted = Details(L"/OSOURCE \"-x\" /TRACKING=\"/y\"");
    EXPECT_EQ(quoted.oSource, L"-x");
    EXPECT_EQ(quoted.tracking, L"/y");
}

TEST(SetupCommandLine, NumbersAreWholeNonNegativeAndOtherwiseZero)
{
    EXPECT_EQ(Details(L"/DELAY=5 /LAUNCHDELAY 3").delay, 5);
    EXPECT_EQ(Details(L"/DELAY=5 /LAUNCHDELAY 3").launchDelay, 3);
    EXPECT_EQ(Details(L"/DELAY=+7").delay, 7);
    EXPECT_EQ(Details(L"/DELAY=007").delay, 7);
    EXPECT_EQ(Details(L"/DELAY=12abc").delay, 0);
    EXPECT_EQ(Details(L"/DELAY=\"-4\"").delay, 0);
    EXPECT_EQ(Details(L"/DELAY -4").delay, 0);
    EXPECT_EQ(Details(L"/LAUNCHDELAY=\"-3\"").launchDelay, 0);
    EXPECT_EQ(Details(L"/DELAY=\" 5\"").delay, 0);
    EXPECT_EQ(Details(L"/DELAY=1.5").delay, 0);
    EXPECT_EQ(Details(L"/DELAY=99999999999").delay, 0);
    EXPECT_EQ(Details(L"/DELAY=2147483647").delay, 2147483647);

    const CSetupCommandLine reader(L"/DELAY=5");
    EXPECT_EQ(reader.ReadInt(L""), 0);
    EXPECT_EQ(reader.ReadInt(L"/MISSING"), 0);
    EXPECT_EQ(reader.ReadString(L""), L"");
}

TEST(SetupCommandLine, SwitchesArePresenceOnlyAndCaseSensitive)
{
    const CInstallationDetails all = Details(L"/NO_UI /S=0 /VS no /DISABLEPOSTPAGES /UPDATE");
    EXPECT_TRUE(all.noUi);
    EXPECT_TRUE(all.silent);
    EXPECT_TRUE(all.verySilent);
    EXPECT_TRUE(all.disablePostPages);
    EXPECT_TRUE(all.update);

    const CInstallationDetails lower = Details(L"/s /vs /no_ui /Update");
    EXPECT_FALSE(lower.silent || lower.verySilent || lower.noUi || lower.update);
}

TEST(DefaultInstallerLanguage, TableByPrimaryLanguageAndTraditionalChinese)
{
    EXPECT_EQ(GetInstallerLanguageFor(0x0407), L"de");
    EXPECT_EQ(GetInstallerLanguageFor(0x0807), L"de");
    EXPECT_EQ(GetInstallerLanguageFor(0x0409), L"en");
    EXPECT_EQ(GetInstallerLanguageFor(0x0416), L"pt-br");
    EXPECT_EQ(GetInstallerLanguageFor(0x0816), L"pt-br");
    EXPECT_EQ(GetInstallerLanguageFor(0x041D), L"sv");
    EXPECT_EQ(GetInstallerLanguageFor(0x041F), L"tr");
    EXPECT_EQ(GetInstallerLanguageFor(0x0411), L"ja");
    EXPECT_EQ(GetInstallerLanguageFor(0x0419), L"ru");
    EXPECT_EQ(GetInstallerLanguageFor(0x0415), L"en");
    EXPECT_EQ(GetInstallerLanguageFor(0x0804), L"en");
    EXPECT_EQ(GetInstallerLanguageFor(0x1004), L"en");
    for (unsigned short traditional : {0x0404, 0x0C04, 0x1404, 0x7C04}) {
        EXPECT_EQ(GetInstallerLanguageFor(traditional), L"zh-tw") << traditional;
    }
}
