#include "tallix/Milestone.h"

#include <gtest/gtest.h>

using Tallix::ParseInstallerMilestone;

namespace {

const std::wstring Required = L"-track_id UA-1-2 -guid=0123456789abcdef0123456789abcdef -app_version 1.2 "
                              L"-app_name \"Vellix PDF Pro\" -language en -product_code QXPDF ";

struct CExpected {
    const wchar_t* options;
    const char* action;
    std::int64_t value;
    bool start;
    bool end;
};

} // namespace

TEST(Milestone, ValuesAfterEqualsOrBlanksQuotedOrBare)
{
    const auto milestone = ParseInstallerMilestone(
        L"-track_id=UA-1-2 -guid = 01234567-89ab-cdef-0123-456789abcdef -app_version  \"7.0 beta\" "
        L"-app_name=\"Vellix PDF Pro\" -language \"-de\" -product_code QXPDF -install_finish");
    ASSERT_TRUE(milestone);
    EXPECT_EQ(milestone->settings.trackingId, "UA-1-2");
    EXPECT_EQ(milestone->settings.clientId, "01234567-89ab-cdef-0123-456789abcdef");
    EXPECT_EQ(milestone->settings.applicationVersion, "7.0 beta");
    EXPECT_EQ(milestone->settings.applicationName, "Vellix PDF Pro");
    EXPECT_EQ(milestone->settings.userLanguage, "-de");
    EXPECT_EQ(milestone->settings.productCode, "QXPDF");
    EXPECT_EQ(milestone->settings.endpoint.port, AppMetrics::CCollectorEndpoint::Configured().port);
}

TEST(Milestone, EachEventOptionAndItsSessionHits)
{
    const CExpected cases[] = {
        {L"-uninstall_start", "AppUninstall", 1, false, true},
        {L"-uninstall_start -install_silent", "AppUninstall", 0, false, true},
        {L"-uninstall_start -install_silent -disableSessionManagement", "AppUninstall", 0, false, false},
        {L"-install_start", "InstallerStart", 1, true, false},
        {L"-install_start_s -install_silent", "InstallerStartS", 0, true, false},
        {L"-install_start -disableSessionManagement", "InstallerStart", 1, false, false},
        {L"-install_success", "InstallerSuccess", -1, false, false},
        {L"-install_success_s -end_session", "InstallerSuccessS", -1, false, true},
        {L"-install_finish -end_session -disableSessionManagement", "InstallerFinish", -1, false, false},
        {L"-install_finish_s -install_silent", "InstallerFinishS", -1, false, false},
        {L"-install_failure -end_session", "InstallerFailure", -1, false, true},
        {L"-install_failure_s", "InstallerFailureS", -1, false, false},
        {L"-install_cancel", "InstallerCancel", -1, false, true},
        {L"-install_cancel_s -disableSessionManagement", "InstallerCancelS", -1, false, false},
        // The first option of the table wins, wherever it stands on the line.
        {L"-install_cancel -install_start", "InstallerStart", 1, true, false},
    };
    for (const CExpected& expected : cases) {
        const auto milestone = ParseInstallerMilestone(Required + expected.options);
        ASSERT_TRUE(milestone) << expected.options;
        EXPECT_EQ(milestone->event.action, expected.action) << expected.options;
        EXPECT_EQ(milestone->event.category, "Install");
        EXPECT_EQ(milestone->event.screenName, "");
        EXPECT_EQ(milestone->event.value, expected.value) << expected.options;
        EXPECT_EQ(milestone->startSession, expected.start) << expected.options;
        EXPECT_EQ(milestone->endSession, expected.end) << expected.options;
    }
}

TEST(Milestone, MissingValuesInvalidClientIdOrNoEventRefuse)
{
    EXPECT_FALSE(ParseInstallerMilestone(Required));
    EXPECT_FALSE(ParseInstallerMilestone(Required + L"/install_start"));
    EXPECT_FALSE(ParseInstallerMilestone(L""));
    const std::wstring withoutLanguage = L"-track_id UA-1-2 -guid 0123456789abcdef0123456789abcdef -app_version 1 "
                                         L"-app_name a -product_code QXPDF -install_start";
    EXPECT_FALSE(ParseInstallerMilestone(withoutLanguage));
    EXPECT_FALSE(ParseInstallerMilestone(withoutLanguage + L" -language \"\""));
    // Unquoted, a value beginning with "-" makes the option a flag without value.
    EXPECT_FALSE(ParseInstallerMilestone(withoutLanguage + L" -language -de"));
    EXPECT_TRUE(ParseInstallerMilestone(withoutLanguage + L" -language de"));

    const std::wstring withoutGuid = L"-track_id UA-1-2 -app_version 1 -app_name a -language en "
                                     L"-product_code QXPDF -install_start ";
    EXPECT_FALSE(ParseInstallerMilestone(withoutGuid + L"/guid 0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(ParseInstallerMilestone(withoutGuid + L"-guid {0123456789abcdef0123456789abcdef}"));
    EXPECT_FALSE(ParseInstallerMilestone(withoutGuid + L"-guid 0123456789abcdef0123456789abcdeg"));
}

TEST(Milestone, RepeatedOptionKeepsItsFirstValue)
{
    const auto milestone = ParseInstallerMilestone(Required + L"-app_name Second -install_start");
    ASSERT_TRUE(milestone);
    EXPECT_EQ(milestone->settings.applicationName, "Vellix PDF Pro");
}

TEST(Milestone, TextOutsideLatin1StaysWholeAndBecomesUtf8)
{
    // Narrowed to low bytes these would read as a quote, a blank, a NUL and a dash.
    const std::wstring name = L"Vellix \u2022\u4E20\u0100\u202D Pro";
    const auto milestone = ParseInstallerMilestone(
        L"-track_id UA-1-2 -guid 0123456789abcdef0123456789abcdef -app_version 1 -app_name \"" + name +
        L"\" -language \u0440\u0443 -product_code QXPDF -install_start");
    ASSERT_TRUE(milestone);
    EXPECT_EQ(milestone->settings.applicationName,
              "Vellix \xE2\x80\xA2\xE4\xB8\xA0\xC4\x80\xE2\x80\xAD Pro");
    EXPECT_EQ(milestone->settings.userLanguage, "\xD1\x80\xD1\x83");
    EXPECT_EQ(milestone->event.action, "InstallerStart");
}
