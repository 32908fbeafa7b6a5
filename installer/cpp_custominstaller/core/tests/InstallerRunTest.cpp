#include "installer/cpp_custominstaller/core/CInstaller.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"

#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"
#include "tests/nsis/TestInstallers.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace CustomInstaller::Core;
using namespace CustomInstaller::Core::CommandLine;
namespace fs = std::filesystem;

class InstallerRunTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scope.Prepare("kv-run-", testing::UnitTest::GetInstance()->current_test_info()->name()));
    }
    void TearDown() override { EXPECT_TRUE(m_scope.Finish()); }

    // Starts the file the way the source and the launcher do: written, then
    // checked and locked, then started.
    static Cxx::Core::CHandle Start(CInstaller& installer, const std::wstring& arguments)
    {
        const int prepared = installer.Write() ? installer.Prepare() : -1;
        if (prepared != PR_Ready) {
            ADD_FAILURE() << "the installer did not pass its check: " << prepared;
            return {};
        }
        return KvTest::StartProgram(installer.GetPath(), arguments);
    }
    static int WaitForExit(const Cxx::Core::CHandle& process) { return KvTest::WaitForExit(process, 60000); }
    // The build configuration's signer is the test signer.
    std::unique_ptr<CInstaller> Download(const std::wstring& variant)
    {
        return std::make_unique<CInstaller>(
            (m_scope.Folder() / "setup.exe").wstring(),
            std::make_shared<std::stringstream>(KvTest::ReadFileBytes(KvTest::TestInstallerPath(variant))));
    }

    KvTest::CInstallerTestScope m_scope;
};

TEST_F(InstallerRunTest, SignedInstallerRunsSilentlyWithTheBuiltCommandLineAndInstallsTheProduct)
{
    const std::wstring hold = (m_scope.Folder() / "hold").wstring();
    std::ofstream(fs::path(hold)) << "hold";
    ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", hold.c_str());

    const CInstallationDetails details = CSetupCommandLine(L"/S /TRACKING=run /LANG=de /DELAY=0").GetInstallationDetails();
    const std::wstring arguments =
        CNSISOriginalCommandLine(details, CInstallerOptions(details), 0, [] { return false; }).GetCommandLine();
    const auto installer = Download(L"exit0");
    const auto process = Start(*installer, arguments);
    ASSERT_TRUE(process.IsValid());

    // Bounded wait for the installer's start, not a timing.
    Cxx::Core::CHandle mutex;
    for (int i = 0; i < 1000 && !mutex; ++i) {
        mutex.Reset(::OpenMutexW(SYNCHRONIZE, FALSE, KvTest::RunningSetupMutex));
        if (!mutex) {
            ::Sleep(20);
        }
    }
    EXPECT_TRUE(mutex.IsValid()) << "the running installer holds no setup mutex";
    mutex.Reset();
    fs::remove(hold);
    ASSERT_EQ(WaitForExit(process), 0);

    std::wstring received;
    ASSERT_TRUE(m_scope.ReadReceivedCommandLine(received));
    // No client id and no session: the text starts with its separating blank.
    EXPECT_EQ(received, L"\"" + installer->GetPath() + L"\"  /TRACKING=\"run\" /BUILD_ID=\"0\" /LANG=\"de\" /DELAY=0 /S");

    std::wstring value;
    std::wstring folder;
    ASSERT_TRUE(KvTest::ReadTestProductValue(L"InstallLocation", folder));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "VellixPDF.exe"));
    ASSERT_TRUE(KvTest::ReadTestProductValue(L"UninstallString", value));
    EXPECT_EQ(value, L"\"" + folder + L"\\uninstall.exe\"");
    for (const auto& [name, expected] : {std::pair{L"DisplayName", L"Vellix PDF Pro"},
                                         std::pair{L"DisplayVersion", L"7.0.0.1125"},
                                         std::pair{L"Publisher", L"Vellix"}}) {
        ASSERT_TRUE(KvTest::ReadTestProductValue(name, value)) << name;
        EXPECT_EQ(value, expected);
    }
}

TEST_F(InstallerRunTest, OptionValuesCannotGiveTheInstallerSwitches)
{
    const CInstallationDetails details =
        CSetupCommandLine(L"/TRACKING=\"x /S y\" /LANG=\"en /D=C:\\elsewhere\" /OSOURCE=\"start page\"")
            .GetInstallationDetails();
    const std::wstring arguments =
        CNSISOriginalCommandLine(details, CInstallerOptions(details), 0, [] { return false; }).GetCommandLine();
    // exit1 stops in its initialisation, before any page shows.
    const auto installer = Download(L"exit1");
    const auto process = Start(*installer, arguments);
    ASSERT_TRUE(process.IsValid());
    ASSERT_EQ(WaitForExit(process), 1);

    std::wstring received;
    ASSERT_TRUE(m_scope.ReadReceivedCommandLine(received));
    EXPECT_EQ(received, L"\"" + installer->GetPath() + L"\"  /BUILD_ID=\"0\" /OSOURCE=\"start page\" /DELAY=0");
    std::wstring parsed;
    ASSERT_TRUE(KvTest::ReadUtf16File(m_scope.CommandLineFile() + L".parsed", parsed));
    EXPECT_EQ(parsed, L"silent=0\r\ninstdir=" + std::wstring(KvTest::TestProductDefaultFolder));
}

TEST_F(InstallerRunTest, FailingVariantsExitWithTheirCodeAndInstallNothing)
{
    for (const auto& [variant, code] : {std::pair{L"exit1", 1}, std::pair{L"exit5", 5}, std::pair{L"exit2", 2}}) {
        SCOPED_TRACE(testing::Message() << variant);
        const auto installer = Download(variant);
        const auto process = Start(*installer, L"/S");
        ASSERT_TRUE(process.IsValid());
        EXPECT_EQ(WaitForExit(process), code);
        std::wstring received;
        ASSERT_TRUE(m_scope.ReadReceivedCommandLine(received));
        EXPECT_EQ(received, L"\"" + installer->GetPath() + L"\" /S");
        std::wstring name;
        EXPECT_FALSE(KvTest::ReadTestProductValue(L"DisplayName", name));
    }
}

} // namespace
