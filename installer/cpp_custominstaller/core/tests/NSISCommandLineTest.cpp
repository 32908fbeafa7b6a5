#include "installer/cpp_custominstaller/core/NSISCommandLine.h"

#include "installer/cpp_custominstaller/commandline/COptionMap.h"
#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"
#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"

#include <gtest/gtest.h>

namespace {

using namespace CustomInstaller::Core::CommandLine;

const std::wstring SessionGuid = L"{0B1F5C4E-2A6D-4F70-9C3B-5E8A1D2F3C4B}";

class NSISCommandLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        CInstallerOptions::SetTrackingUidResolver([] { return SessionGuid; });
    }
    void TearDown() override { CInstallerOptions::SetTrackingUidResolver({}); }

    static std::wstring Web(const std::wstring& commandLine, bool sessionStarted)
    {
        const CInstallationDetails details = CSetupCommandLine(commandLine).GetInstallationDetails();
        return CNSISCommandLine(details, CInstallerOptions(details), [sessionStarted] { return sessionStarted; })
            .GetCommandLine();
    }
    static std::wstring Original(const std::wstring& commandLine, int noDelay = 0)
    {
        const CInstallationDetails details = CSetupCommandLine(commandLine).GetInstallationDetails();
        return CNSISOriginalCommandLine(details, CInstallerOptions(details), noDelay, [] { return true; })
            .GetCommandLine();
    }
};

TEST_F(NSISCommandLineTest, WebRoadCarriesTheClientIdWhenGivenOrWhenTheSessionStarted)
{
    const std::wstring language = GetDefaultInstallerLanguage();
    EXPECT_EQ(Web(L"", true),
              L"/GA_TRACKING_UID=\"" + SessionGuid + L"\" /BUILD_ID=\"0\" /LANG=\"" + language + L"\" /NO_UI");
    EXPECT_EQ(Web(L"", false), L" /BUILD_ID=\"0\" /LANG=\"" + language + L"\" /NO_UI");
    EXPECT_EQ(Web(L"/TRACKING=campaign /GA_TRACKING_UID=1234.5678 /LANG=de", false),
              L"/GA_TRACKING_UID=\"1234.5678\" /TRACKING=\"campaign\" /BUILD_ID=\"0\" /LANG=\"de\" /NO_UI");
}

TEST_F(NSISCommandLineTest, EveryOptionInItsPlace)
{
    EXPECT_EQ(Web(L"/UPDATE /OSOURCE=\"start page\" /BUILD_ID=77 /DISABLEPOSTPAGES /TRACKING=t /VS /LANG=fr "
                  L"/LAUNCHDELAY=9 /DELAY=4 /S",
                  false),
              L" /TRACKING=\"t\" /BUILD_ID=\"77\" /OSOURCE=\"start page\" /LANG=\"fr\" /VS /DISABLEPOSTPAGES /UPDATE "
              L"/LAUNCHDELAY=9 /NO_UI");
}

TEST_F(NSISCommandLineTest, WindowlessAndFallbackRoadsEndWithDelayAndSilence)
{
    const std::wstring head = L"/GA_TRACKING_UID=\"" + SessionGuid + L"\" /BUILD_ID=\"0\" /LANG=\"de\"";
    EXPECT_EQ(Original(L"/S /DELAY=5 /LAUNCHDELAY=3 /LANG=de"), head + L" /LAUNCHDELAY=3 /DELAY=5 /S");
    EXPECT_EQ(Original(L"/LANG=de"), head + L" /DELAY=0");
    EXPECT_EQ(Original(L"/VS /LANG=de"), head + L" /VS /DELAY=0");
    EXPECT_EQ(Original(L"/VS /S /NO_UI /DELAY=2 /LANG=de"), head + L" /VS /DELAY=2 /S /NO_UI");
    EXPECT_EQ(Original(L"/DELAY=2 /LANG=de", 1), head);
}

TEST_F(NSISCommandLineTest, ValueCannotLeaveItsQuotesNorStartASwitch)
{
    // Quotes are dropped; a blank followed by "/" would be a switch to NSIS: the option is left out.
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"a\" /S /D=C:\\elsewhere \"b", nullptr},
        {L"x /S y", nullptr},
        {L"x  /S", nullptr},
        {L"x\" \"/S", nullptr},
        {L"start page", L" /TRACKING=\"start page\""},
        {L"a/b /c", nullptr},
        {L"a/b/c", L" /TRACKING=\"a/b/c\""},
        {L"/S", L" /TRACKING=\"/S\""},
        {L"\"quoted\"", L" /TRACKING=\"quoted\""},
    };
    for (const auto& [value, expected] : cases) {
        CInstallationDetails details = CSetupCommandLine(L"/LANG=de").GetInstallationDetails();
        details.tracking = value;
        details.gaTrackingUid = L"\"uid\"";
        const std::wstring text =
            CNSISCommandLine(details, CInstallerOptions(details), [] { return false; }).GetCommandLine();
        EXPECT_EQ(text, L"/GA_TRACKING_UID=\"uid\"" + std::wstring(expected ? expected : L"") +
                            L" /BUILD_ID=\"0\" /LANG=\"de\" /NO_UI")
            << value;
        EXPECT_FALSE(COptionMap(text).Find(L"/S")) << value;
    }

    CInstallationDetails details = CSetupCommandLine(L"/LANG=\"en /D=C:\\elsewhere\"").GetInstallationDetails();
    details.gaTrackingUid = L"u /S";
    EXPECT_EQ(CNSISCommandLine(details, CInstallerOptions(details), [] { return false; }).GetCommandLine(),
              L" /BUILD_ID=\"0\" /NO_UI");
}

} // namespace
