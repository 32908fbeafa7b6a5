#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"

#include <gtest/gtest.h>

using namespace CustomInstaller::Core::CommandLine;

namespace {

class InstallerOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        CInstallerOptions::SetTrackingUidResolver([this] {
            ++m_resolverCalls;
            return L"uid-" + std::to_wstring(m_resolverCalls);
        });
    }
    void TearDown() override { CInstallerOptions::SetTrackingUidResolver({}); }

    int m_resolverCalls = 0;
};

} // namespace

TEST_F(InstallerOptions, DefaultsAndClampsFromTheDetails)
{
    CInstallationDetails details;
    details.launchDelay = -3;
    details.tracking = L"t";
    details.oSource = L"o";
    const CInstallerOptions options(details);
    EXPECT_EQ(options.GetBuildId(), L"0");
    EXPECT_EQ(options.GetLaunchDelay(), 0);
    EXPECT_EQ(options.GetTracking(), L"t");
    EXPECT_EQ(options.GetOSource(), L"o");
    EXPECT_EQ(options.GetLanguage(), GetDefaultInstallerLanguage());
    EXPECT_EQ(options.GetVersion(), L"7.0.0.1125");
    EXPECT_TRUE(options.IsNoGaUid());

    details.buildId = L"12";
    details.language = L"fr";
    details.launchDelay = 4;
    const CInstallerOptions given(details);
    EXPECT_EQ(given.GetBuildId(), L"12");
    EXPECT_EQ(given.GetLanguage(), L"fr");
    EXPECT_EQ(given.GetLaunchDelay(), 4);
}

TEST_F(InstallerOptions, GivenClientIdIsKeptAndNothingIsResolved)
{
    CInstallationDetails details;
    details.gaTrackingUid = L"given";
    const CInstallerOptions options(details);
    const CInstallerOptions copy(options);
    EXPECT_FALSE(options.IsNoGaUid());
    EXPECT_EQ(copy.GetTrackingUid(), L"given");
    EXPECT_FALSE(copy.IsNoGaUid());
    EXPECT_EQ(m_resolverCalls, 0);
}

TEST_F(InstallerOptions, CopyingMakesTheSourceResolveOnceAndShareItsClientId)
{
    const CInstallerOptions source{CInstallationDetails{}};
    EXPECT_EQ(m_resolverCalls, 0);

    const CInstallerOptions copy(source);
    EXPECT_EQ(m_resolverCalls, 1);
    EXPECT_EQ(copy.GetTrackingUid(), L"uid-1");
    EXPECT_EQ(source.GetTrackingUid(), L"uid-1");

    CInstallationDetails other;
    other.gaTrackingUid = L"x";
    CInstallerOptions assigned(other);
    assigned = source;
    EXPECT_EQ(assigned.GetTrackingUid(), L"uid-1");
    EXPECT_TRUE(assigned.IsNoGaUid());
    EXPECT_EQ(m_resolverCalls, 1);
}

TEST_F(InstallerOptions, WithoutResolverTheClientIdStaysEmptyUntilOneIsInstalled)
{
    CInstallerOptions::SetTrackingUidResolver({});
    const CInstallerOptions options{CInstallationDetails{}};
    EXPECT_EQ(options.GetTrackingUid(), L"");

    SetUp();
    EXPECT_EQ(options.GetTrackingUid(), L"uid-1");
    EXPECT_EQ(options.GetTrackingUid(), L"uid-1");
}
