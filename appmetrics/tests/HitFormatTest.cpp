#include "appmetrics/AppMetrics.h"
#include "appmetrics/HitFormat.h"

#include <gtest/gtest.h>

using namespace AppMetrics;

namespace {

std::vector<std::string> Names(const CHitParameters& parameters)
{
    std::vector<std::string> names;
    for (const auto& item : parameters.Items()) {
        names.push_back(item.first);
    }
    return names;
}

const COsFacts Windows7x86{"6.1L"};

} // namespace

TEST(HitFormat, DaysSinceInstallBuckets)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0"},         {7, "7"},         {8, "8-14"},      {14, "8-14"},       {15, "15-29"},
        {29, "15-29"},    {30, "30-44"},    {45, "45-59"},    {60, "60-89"},      {90, "90-119"},
        {120, "120-179"}, {180, "180-269"}, {269, "180-269"}, {364, "270-364"},   {365, "365-729"},
        {729, "365-729"}, {730, "730"},     {100000, "730"},  {-1, "730"},
    };
    for (const auto& [days, bucket] : cases) {
        EXPECT_EQ(DaysSinceInstallBucket(days), bucket) << days;
    }
}

TEST(HitFormat, StartTypeOutsideTheEnumerationIsUnspecified)
{
    CHitParameters parameters;
    BuildApplicationStartTypeParameters(parameters, static_cast<EApplicationStartType>(7));
    EXPECT_EQ(EncodeBody(parameters), "t=event&ec=General&ea=ApplicationStartType&cd4=AST_Unspecified");
    EXPECT_STREQ(ApplicationStartTypeText(AST_FirstStartAfterInstall), "AST_FirstStartAfterInstall");
}

TEST(HitFormat, EventValueAndScreenNameAreOptional)
{
    CHitParameters none;
    BuildEventParameters(none, CEventData("InstallerStart", "Install", "", -1));
    EXPECT_EQ(Names(none), (std::vector<std::string>{"t", "ec", "ea"}));

    CHitParameters zero;
    BuildEventParameters(zero, CEventData("a", "c", "page", 0));
    EXPECT_EQ(EncodeBody(zero), "t=event&ec=c&ea=a&ev=0&cd=page");
}

TEST(HitFormat, CommonParametersComeFirstInTheirOrder)
{
    CGoogleAnalyticsSettings settings("UA-1-2", "cid", "1.0", "name", "de", "");
    CHitParameters parameters;
    BuildCommonParameters(parameters, settings);
    BuildTimingParameters(parameters, CTimingData("var", "cat", 1234, std::nullopt));
    EXPECT_EQ(EncodeBody(parameters),
              "v=1&tid=UA-1-2&cid=cid&an=name&av=1.0&ul=de&ci=&t=timing&utc=cat&utv=var&utt=1234");
}

TEST(HitFormat, EveryValueIsPercentEncoded)
{
    EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(PercentEncode("a&b=c+d%e f"), "a%26b%3Dc%2Bd%25e%20f");
    EXPECT_EQ(PercentEncode("\xE2\x80\xA2"), "%E2%80%A2");

    CHitParameters parameters;
    BuildEventParameters(parameters, CEventData("x&ev=5", "y=z", "", -1));
    EXPECT_EQ(EncodeBody(parameters), "t=event&ec=y%3Dz&ea=x%26ev%3D5");
}

TEST(HitFormat, OneSessionParameterPerHit)
{
    CHitParameters parameters;
    BuildSessionControlParameters(parameters, SC_Start);
    EXPECT_TRUE(UpdateSessionStartedFlag(false, false));
    parameters.AddSessionControl("end");
    EXPECT_EQ(EncodeBody(parameters), "t=event&ec=SessionControl&ea=start&sc=start");

    CHitParameters end;
    BuildSessionControlParameters(end, SC_End);
    EXPECT_FALSE(IsSessionStarted());
    EXPECT_EQ(end.SessionControl(), "end");
}

TEST(HitFormat, ExceptionDescription)
{
    EXPECT_EQ(BuildExceptionDescription(CExceptionData("", "ID1_", 255, 2), Windows7x86), "ID1_ff_6.1L");
    EXPECT_EQ(BuildExceptionDescription(CExceptionData("", "ID1_", -1, 2), Windows7x86), "ID1_ffffffff_6.1L");
    EXPECT_EQ(BuildExceptionDescription(CExceptionData("timeout", "IJ", 1, 2), COsFacts{"10.0"}), "IJ1_10.0_timeout");
    EXPECT_EQ(BuildExceptionDescription(CExceptionData("text", "", 0, 0), COsFacts{}), "_text");

    CHitParameters fatal;
    BuildExceptionParameters(fatal, CExceptionData("", "IN", 0, 2), Windows7x86);
    EXPECT_EQ(EncodeBody(fatal), "t=exception&exd=IN_6.1L&exf=1");
    for (const int kind : {0, 1, 4, -1}) {
        CHitParameters parameters;
        BuildExceptionParameters(parameters, CExceptionData("", "IN", 0, kind), Windows7x86);
        EXPECT_EQ(parameters.Items().at(2).second, "0") << kind;
        EXPECT_EQ(parameters.SessionControl(), "") << kind;
    }
    CHitParameters crash;
    BuildExceptionParameters(crash, CExceptionData("x", "", 0, 3), Windows7x86);
    EXPECT_EQ(EncodeBody(crash), "t=exception&exd=6.1L_x&exf=1&sc=end");
}

TEST(HitFormat, LongExceptionDescriptionIsCutToItsEncodedLength)
{
    // "ID_6.1L_" and 133 letters take 141 bytes, then escapes across the 150th byte.
    const std::string letters(133, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"%%%%&&&&\xE2\x80\xA2\xE2\x80\xA2zzz", "%%%"},
        // The 9 bytes of one character go whole or not at all.
        {"a\xE2\x80\xA2", "a"},
        {"\xE2\x80\xA2\xE2\x80\xA2zzz", "\xE2\x80\xA2"},
    };
    for (const auto& [tail, kept] : cases) {
        const std::string text = BuildExceptionDescription(CExceptionData(letters + tail, "ID", 0, 2), Windows7x86);
        EXPECT_EQ(text, "ID_6.1L_" + letters + kept);
        EXPECT_LE(PercentEncode(text).size(), 150u);
    }

    CHitParameters parameters;
    BuildExceptionParameters(parameters, CExceptionData(letters + cases[0].first, "ID", 0, 2), Windows7x86);
    const std::string body = EncodeBody(parameters);
    EXPECT_NE(body.find("exd=ID_6.1L_" + letters + "%25%25%25&exf=1"), std::string::npos) << body;
}

TEST(HitFormat, CrashDescriptionKeepsTheModulesFrames)
{
    const std::string stack = "at ntdll.RtlUserThreadStart (0x1)\n"
                              "at Ns@@Run@@X.Korvane.exe (0x2)\n"
                              "at Korvane.?Start$1 (0x3)\n"
                              "no frame here\n"
                              "at kernel32.BaseThreadInit\n";
    EXPECT_EQ(CleanCrashDescription(stack, "Korvane"), "Korvane_Ns*-Korvane.Start1 -kernel32.BaseThreadInit\n");
    EXPECT_EQ(CleanCrashDescription("at other.Frame (1)\n", "Korvane"), "");
    EXPECT_EQ(CleanCrashDescription("a@b@c@d.x (1)", ""), "a*b.x ");
}

TEST(HitFormat, OsDescription)
{
    EXPECT_EQ(BuildOsDescription(std::make_pair(10u, 0u), true), "10.0_64bit (Windows NT 10.0; WOW64)");
    EXPECT_EQ(BuildOsDescription(std::make_pair(6u, 1u), false), "6.1_32bit (Windows NT 6.1; WOW32)");
    EXPECT_EQ(BuildOsDescription(std::nullopt, true), "Unknown");
}

TEST(ClientId, Normalisation)
{
    std::string out;
    ASSERT_TRUE(NormalizeClientId("0123456789abcdefABCDEF0123456789", out));
    EXPECT_EQ(out, "01234567-89ab-cdef-ABCD-EF0123456789");
    ASSERT_TRUE(NormalizeClientId("01234567-89ab-cdef-ABCD-EF0123456789", out));
    EXPECT_EQ(out, "01234567-89ab-cdef-ABCD-EF0123456789");
    ASSERT_TRUE(NormalizeClientId("0-1-2-3456789abcdef0123456789abcdef", out));
    EXPECT_EQ(out, "01234567-89ab-cdef-0123-456789abcdef");
    ASSERT_TRUE(NormalizeClientId("0123456789012345678901234567890123456789", out));
    EXPECT_EQ(out, "0123456789012345678901234567890123456789");

    out = "kept";
    const std::vector<std::string> invalid = {
        "",
        "{01234567-89ab-cdef-ABCD-EF0123456789}",
        "0123456789abcdefABCDEF012345678g",
        "0123456789abcdefABCDEF012345678",
        "0123456789abcdefABCDEF01234567890",
        std::string("0123456789abcdefABCDEF012345678\0", 32),
        "--------",
    };
    for (const std::string& bad : invalid) {
        EXPECT_FALSE(NormalizeClientId(bad, out)) << bad;
    }
    EXPECT_EQ(out, "kept");
}
