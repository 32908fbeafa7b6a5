#include "installer/cpp_custominstaller/core/CInstaller.h"

#include "tests/nsis/TestInstallers.h"
#include "tests/signing/TestSigning.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace CustomInstaller::Core;
using Cxx::Core::Utils::SignerCertificateInfo;
using Bytes = std::vector<BYTE>;
namespace fs = std::filesystem;

std::shared_ptr<std::stringstream> Download(const std::wstring& variant)
{
    return std::make_shared<std::stringstream>(KvTest::ReadFileBytes(KvTest::TestInstallerPath(variant)));
}

CSignerCheck TestSignerCheck()
{
    CSignerCheck check = CSignerCheck::FromBuildConfiguration();
    check.expectedSigner = {{0x4B, 0x56, 0x00, 0x01}, L"Korvane Test CA", L"Korvane Test Code Signing"};
    return check;
}

class InstallerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(KvTest::TrustTestCertificateAuthority()); }

    void SetUp() override
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() / (std::string("kv-installer-") + test->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        m_path = (m_folder / "setup.exe").wstring();
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::unique_ptr<CInstaller> Make(const std::wstring& variant, CSignerCheck check = TestSignerCheck())
    {
        return std::make_unique<CInstaller>(m_path, Download(variant), std::move(check));
    }
    std::string OnDisk() const { return KvTest::ReadFileBytes(m_path); }

    fs::path m_folder;
    std::wstring m_path;
};

TEST_F(InstallerTest, FileThatPassedCannotBeReplacedUntilTheObjectEnds)
{
    auto installer = Make(L"exit0");
    ASSERT_TRUE(installer->Write());
    ASSERT_EQ(installer->Prepare(), PR_Ready);

    const Cxx::Core::CFileHandle writer(::CreateFileW(m_path.c_str(), GENERIC_WRITE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.IsValid());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(m_path.c_str()));
    EXPECT_FALSE(::MoveFileExW(m_path.c_str(), (m_path + L".moved").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(Cxx::Core::CFileHandle(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, 0, nullptr))
                    .IsValid());

    installer.reset();
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(InstallerTest, MakerSignatureInOtherCaseOrExpiredPasses)
{
    for (const wchar_t* variant : {L"lowercase", L"expired"}) {
        auto installer = Make(variant);
        ASSERT_TRUE(installer->Write());
        EXPECT_EQ(installer->Prepare(), PR_Ready) << variant;
    }
}

TEST_F(InstallerTest, ReplacedFileIsWrittenAgainFromTheDownload)
{
    auto installer = Make(L"exit0");
    const std::string foreign = KvTest::ReadFileBytes(KvTest::TestInstallerPath(L"foreign"));
    std::ofstream(fs::path(m_path), std::ios::binary).write(foreign.data(), foreign.size());

    EXPECT_EQ(installer->Prepare(), PR_Rewritten);
    EXPECT_EQ(OnDisk(), KvTest::ReadFileBytes(KvTest::TestInstallerPath(L"exit0")));
    EXPECT_EQ(installer->Prepare(), PR_Ready);
}

TEST_F(InstallerTest, DownloadThatIsNotTheMakersFailsOnEveryCall)
{
    for (const wchar_t* variant : {L"foreign", L"unsigned", L"tampered"}) {
        SCOPED_TRACE(testing::Message() << variant);
        auto installer = Make(variant);
        ASSERT_TRUE(installer->Write());
        EXPECT_EQ(installer->Prepare(), PR_Rewritten);
        EXPECT_EQ(installer->Prepare(), PR_Rewritten);
    }
}

TEST_F(InstallerTest, MissingFileIsWrittenThenCheckedOnTheNextCall)
{
    auto installer = Make(L"exit0");
    ASSERT_FALSE(fs::exists(m_path));
    EXPECT_EQ(installer->Prepare(), PR_Written);
    EXPECT_EQ(installer->Prepare(), PR_Ready);

    // An empty download is an unsigned file, not a failed write.
    CInstaller empty(m_path + L".empty", std::make_shared<std::stringstream>(), TestSignerCheck());
    EXPECT_TRUE(empty.Write());
    EXPECT_EQ(empty.Prepare(), PR_Rewritten);
    EXPECT_EQ(empty.Prepare(), PR_Rewritten);
    CInstaller nowhere((m_folder / "missing" / "setup.exe").wstring(), Download(L"exit0"), TestSignerCheck());
    EXPECT_EQ(nowhere.Prepare(), PR_WriteFailed);
}

TEST_F(InstallerTest, OnlyAKnownOldWindowsSkipsTheCheck)
{
    struct Case {
        bool readable;
        DWORD major;
        int result;
    };
    for (const Case& c : {Case{false, 0, PR_Rewritten}, Case{true, 5, PR_Ready}, Case{true, 6, PR_Rewritten}}) {
        SCOPED_TRACE(testing::Message() << c.readable << " " << c.major);
        CSignerCheck check = TestSignerCheck();
        check.windowsMajorVersion = [c](DWORD& major) {
            major = c.major;
            return c.readable;
        };
        auto installer = Make(L"unsigned", check);
        ASSERT_TRUE(installer->Write());
        EXPECT_EQ(installer->Prepare(), c.result);
    }
}

TEST_F(InstallerTest, UnreadableSignerOrFailingCheckLeavesTheFileAlone)
{
    CSignerCheck unreadable = TestSignerCheck();
    unreadable.verifySignature = [](const std::wstring&) { return true; };
    unreadable.readSigner = [](const std::wstring&, SignerCertificateInfo&) { return false; };
    CSignerCheck throwing = TestSignerCheck();
    throwing.verifySignature = [](const std::wstring&) -> bool { throw std::runtime_error("no trust provider"); };

    for (const CSignerCheck& check : {unreadable, throwing}) {
        auto installer = Make(L"exit0", check);
        ASSERT_TRUE(installer->Write());
        std::ofstream(fs::path(m_path), std::ios::binary | std::ios::app) << "marker";
        const std::string before = OnDisk();
        EXPECT_EQ(installer->Prepare(), PR_SignerUnreadable);
        EXPECT_EQ(OnDisk(), before);
    }
}

TEST_F(InstallerTest, EndingWhenTheFileIsAlreadyGoneIsHarmless)
{
    auto installer = Make(L"exit0");
    ASSERT_TRUE(installer->Write());
    ASSERT_TRUE(fs::remove(m_path));
    EXPECT_NO_THROW(installer.reset());
}

TEST(SignerComparisonTest, SerialBytesExactNamesWithoutRegardToCase)
{
    const SignerCertificateInfo expected{{0x4B, 0x56, 0x00, 0x01}, L"Korvane Test CA", L"Korvane Test Code Signing"};
    EXPECT_TRUE(IsSameSigner(expected, {{0x4B, 0x56, 0x00, 0x01}, L"KORVANE TEST CA", L"korvane test code signing"}));
    EXPECT_FALSE(IsSameSigner(expected, {{0x4B, 0x56, 0x00}, L"Korvane Test CA", L"Korvane Test Code Signing"}));
    EXPECT_FALSE(IsSameSigner(expected, {{0x4B, 0x56, 0x00, 0x01, 0x00}, L"Korvane Test CA", L"Korvane Test Code Signing"}));
    EXPECT_FALSE(IsSameSigner(expected, {{0x4B, 0x56, 0x00, 0x01}, L"Other CA", L"Korvane Test Code Signing"}));
    EXPECT_FALSE(IsSameSigner(expected, {{0x4B, 0x56, 0x00, 0x01}, L"Korvane Test CA", L"Korvane Test"}));
}

TEST(SignerComparisonTest, ConfiguredSerialIsReadAsHexMostSignificantFirst)
{
    EXPECT_EQ(ParseSerialNumber(L"4B560001"), (Bytes{0x4B, 0x56, 0x00, 0x01}));
    EXPECT_EQ(ParseSerialNumber(L"4b:56:00:01"), (Bytes{0x4B, 0x56, 0x00, 0x01}));
    EXPECT_EQ(ParseSerialNumber(L"B560001"), (Bytes{0x0B, 0x56, 0x00, 0x01}));
    // A malformed value matches no signer rather than some other one.
    EXPECT_TRUE(ParseSerialNumber(L"4B56-0001").empty());
    EXPECT_TRUE(ParseSerialNumber(L"").empty());
}

} // namespace
