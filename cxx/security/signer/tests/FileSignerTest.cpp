#include "cxx/security/signer/FileSigner.h"

#include "tests/nsis/TestInstallers.h"
#include "tests/signing/TestSigning.h"

#include <gtest/gtest.h>

#include <wintrust.h>
#include <softpub.h>

namespace {

using Cxx::Core::Utils::GetFileSignerName;
using Cxx::Core::Utils::SignerCertificateInfo;
using Cxx::Core::Utils::VerifyFileSignature;
using Bytes = std::vector<BYTE>;

class FileSignerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(KvTest::TrustTestCertificateAuthority()); }

    // A record whose every field shows whether it was written.
    static SignerCertificateInfo Untouched()
    {
        return {{9, 9}, L"issuer before", L"subject before", L"oid before", 7, 8};
    }
};

TEST_F(FileSignerTest, TestSignersChainToARootThisPrefixTrusts)
{
    // Without it Wine would accept the signatures anyway, and the tests below
    // would not stand for a Windows machine.
    EXPECT_TRUE(KvTest::IsChainTrusted(KvTest::TestCertificatePath(L"signer.cer")));
    EXPECT_TRUE(KvTest::IsChainTrusted(KvTest::TestCertificatePath(L"foreign.cer")));
}

TEST_F(FileSignerTest, SignedFileYieldsItsSignerWithTheSerialMostSignificantFirst)
{
    const std::wstring path = KvTest::TestInstallerPath(L"exit0");
    EXPECT_TRUE(VerifyFileSignature(path));

    SignerCertificateInfo info = Untouched();
    ASSERT_TRUE(GetFileSignerName(path, info));
    EXPECT_EQ(info.serialNumber, (Bytes{0x4B, 0x56, 0x00, 0x01}));
    EXPECT_EQ(info.issuerName, L"Korvane Test CA");
    EXPECT_EQ(info.subjectName, L"Korvane Test Code Signing");
    EXPECT_EQ(info.signatureAlgorithm, L"1.2.840.113549.1.1.11");
    EXPECT_EQ(info.validFrom, 1704067200u);
    EXPECT_EQ(info.validTo, 2335219200u);
}

TEST_F(FileSignerTest, ExpiredSigningCertificateIsAcceptedWithItsDates)
{
    // Wine's WinVerifyTrust answers 0 here where Windows answers
    // CERT_E_EXPIRED; the injected verdicts below cover that answer.
    const std::wstring path = KvTest::TestInstallerPath(L"expired");
    EXPECT_TRUE(VerifyFileSignature(path));
    SignerCertificateInfo info;
    ASSERT_TRUE(GetFileSignerName(path, info));
    EXPECT_EQ(info.validFrom, 1609459200u);
    EXPECT_EQ(info.validTo, 1640995200u);
}

TEST_F(FileSignerTest, ForeignSignerIsReadAsItIs)
{
    SignerCertificateInfo info;
    ASSERT_TRUE(GetFileSignerName(KvTest::TestInstallerPath(L"foreign"), info));
    EXPECT_EQ(info.serialNumber, (Bytes{0x4B, 0x56, 0x00, 0x02}));
    EXPECT_EQ(info.issuerName, L"Korvane Test CA");
    EXPECT_EQ(info.subjectName, L"Foreign Test Publisher");
}

TEST_F(FileSignerTest, UnsignedTamperedAndMissingFilesFailAndLeaveTheRecord)
{
    for (const std::wstring& path : {KvTest::TestInstallerPath(L"unsigned"), KvTest::TestInstallerPath(L"tampered"),
                                    KvTest::TestInstallerPath(L"missing")}) {
        SCOPED_TRACE(testing::Message() << std::string(path.begin(), path.end()));
        EXPECT_FALSE(VerifyFileSignature(path));
        SignerCertificateInfo info = Untouched();
        EXPECT_FALSE(GetFileSignerName(path, info));
        EXPECT_EQ(info.serialNumber, (Bytes{9, 9}));
        EXPECT_EQ(info.subjectName, L"subject before");
        EXPECT_EQ(info.validFrom, 7u);
    }
}

// A stand-in for WinVerifyTrust: answers fakeAnswer and leaves fakeLastError
// as the thread's last error, after checking what it was asked.
LONG fakeAnswer = 0;
DWORD fakeLastError = 0;
std::wstring askedPath;
bool askedAsExpected = false;

LONG WINAPI FakeWinVerifyTrust(HWND window, GUID* action, LPVOID data)
{
    const GUID genericVerify = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const auto* trust = static_cast<const WINTRUST_DATA*>(data);
    askedAsExpected = window == nullptr && IsEqualGUID(*action, genericVerify) &&
                      trust->cbStruct == sizeof(WINTRUST_DATA) && trust->dwUIChoice == WTD_UI_NONE &&
                      trust->fdwRevocationChecks == WTD_REVOKE_NONE && trust->dwUnionChoice == WTD_CHOICE_FILE &&
                      trust->dwStateAction == 0 && trust->dwProvFlags == WTD_SAFER_FLAG &&
                      trust->pFile->hFile == nullptr && trust->pFile->pgKnownSubject == nullptr;
    askedPath = trust->pFile->pcwszFilePath;
    ::SetLastError(fakeLastError);
    return fakeAnswer;
}

TEST(FileSignerVerdictTest, VerdictComesFromTheAnswerNeverFromTheLastError)
{
    struct Case {
        HRESULT answer;
        DWORD lastError;
        bool trusted;
    };
    const Case cases[] = {
        {S_OK, ERROR_MORE_DATA, true},
        {CERT_E_EXPIRED, 0, true},
        {TRUST_E_NOSIGNATURE, static_cast<DWORD>(CERT_E_EXPIRED), false},
        {TRUST_E_BAD_DIGEST, 0, false},
        {CERT_E_UNTRUSTEDROOT, static_cast<DWORD>(CERT_E_EXPIRED), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.answer);
        fakeAnswer = c.answer;
        fakeLastError = c.lastError;
        askedAsExpected = false;
        EXPECT_EQ(VerifyFileSignature(L"C:\\setup.exe", &FakeWinVerifyTrust), c.trusted);
        EXPECT_TRUE(askedAsExpected);
        EXPECT_EQ(askedPath, L"C:\\setup.exe");
    }
}

} // namespace
