#include "tests/signing/TestSigning.h"

#include "cxx/security/signer/CertificateHandles.h"
#include "tests/signing/TestSigningPaths.h"

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace KvTest {

namespace {

Cxx::Security::CCertContext LoadCertificate(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.empty()) {
        return {};
    }
    return Cxx::Security::CCertContext(::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())));
}

} // namespace

std::wstring TestCertificatePath(const std::wstring& fileName)
{
    return std::wstring(TestCertificateDirectory) + L"\\" + fileName;
}

bool TrustTestCertificateAuthority()
{
    const auto authority = LoadCertificate(TestCertificatePath(L"ca.cer"));
    if (!authority) {
        return false;
    }
    const Cxx::Security::CCertStore root(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                         CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
    return root && ::CertAddCertificateContextToStore(root.Get(), authority.Get(), CERT_STORE_ADD_USE_EXISTING,
                                                      nullptr);
}

bool IsChainTrusted(const std::wstring& certificatePath)
{
    const auto certificate = LoadCertificate(certificatePath);
    if (!certificate) {
        return false;
    }
    // The CA travels beside the signer, as in a signed file, so only the
    // root's trust is in question.
    const auto authority = LoadCertificate(TestCertificatePath(L"ca.cer"));
    const Cxx::Security::CCertStore extra(
        ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!authority || !extra ||
        !::CertAddCertificateContextToStore(extra.Get(), authority.Get(), CERT_STORE_ADD_ALWAYS, nullptr)) {
        return false;
    }
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof(parameters);
    Cxx::Security::CCertChain chain;
    if (!::CertGetCertificateChain(nullptr, certificate.Get(), nullptr, extra.Get(), &parameters, 0, nullptr,
                                   chain.Put())) {
        return false;
    }
    return chain.Get()->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR;
}

} // namespace KvTest
