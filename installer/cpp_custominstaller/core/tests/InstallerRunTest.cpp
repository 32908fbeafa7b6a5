#include "installer/cpp_custominstaller/core/CInstaller.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"

#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"
#include "tests/nsis/TestInstallers.h"
#include "tests/signing/TestSigning.h"

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
        ASSERT_TRUE(m_productLock.IsHeld());
        ASSERT_TRUE(KvTest::TrustTestCertificateAuthority());
        ASSERT_TRUE(KvTest::RemoveTestProduct());
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() / (std::string("kv-run-") + test->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        m_commandLineFile = (m_folder / "cmdline.txt").wstring();
        ::SetEnvironmentVariableW(L"KV_NSIS_COMMAND_LINE_FILE", m_commandLineFile.c_str());
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"KV_NSIS_COMMAND_LINE_FILE", nullptr);
        ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", nullptr);
        EXPECT_TRUE(KvTest::RemoveTestProduct());
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // Starts the file the way the source and the launcher do: written, then
    // checked and locked, then started.
    static Cxx::Core::CHandle Start(CInstaller& installer, const std::wstring& arguments)
    {
        const int prepared = installer.Write() ? installer.Prepare() : -1;
        if (prepared != PR_Ready) {
            ADD_FAILURE() << "the installer did not pass its check: " << prepared;
            return {};
        }
        std::wstring commandLine = L"\"" + installer.GetPath() + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process)) {
            ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
            return {};
        }
        const Cxx::Core::CHandle thread(process.hThread);
        return Cxx::Core::CHandle(process.hProcess);
    }
    static DWORD WaitForExit(const Cxx::Core::CHandle& process)
    {
        DWORD exitCode = 0xFFFFFFFF;
        if (::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0) {
            ::GetExitCodeProcess(process.Get(), &exitCode);
        }
        return exitCode;
    }
    // The build configuration's signer is the test signer.
    std::unique_ptr<CInstaller> Download(const std::wstring& variant)
    {
        return std::make_unique<CInstaller>(
            (m_folder / "setup.exe").wstring(),
            std::make_shared<std::stringstream>(KvTest::ReadFileBytes(KvTest::TestInstallerPath(variant))));
    }

    KvTest::CTestProductLock m_productLock;
    fs::path m_folder;
    std::wstring m_commandLineFile;
};

TEST_F(InstallerRunTest, SignedInstallerRunsSilentlyWithTheBuiltCommandLineAndInstallsTheProduct)
{
    const std::wstring hold = (m_folder / "hold").wstring();
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
    ASSERT_EQ(WaitForExit(process), 0u);

    std::wstring received;
    ASSERT_TRUE(KvTest::ReadUtf16File(m_commandLineFile, received));
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

TEST_F(InstallerRunTest, FailingVariantsExitWithTheirCodeAndInstallNothing)
{
    for (const auto& [variant, code] : {std::pair{L"exit1", 1u}, std::pair{L"exit5", 5u}, std::pair{L"exit2", 2u}}) {
        SCOPED_TRACE(testing::Message() << variant);
        const auto installer = Download(variant);
        const auto process = Start(*installer, L"/S");
        ASSERT_TRUE(process.IsValid());
        EXPECT_EQ(WaitForExit(process), code);
        std::wstring received;
        ASSERT_TRUE(KvTest::ReadUtf16File(m_commandLineFile, received));
        EXPECT_EQ(received, L"\"" + installer->GetPath() + L"\" /S");
        std::wstring name;
        EXPECT_FALSE(KvTest::ReadTestProductValue(L"DisplayName", name));
    }
}

} // namespace
