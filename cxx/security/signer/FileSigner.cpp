#include "cxx/security/signer/FileSigner.h"

#include "cxx/core/TextUtils.h"
#include "cxx/security/signer/CertificateHandles.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <iterator>
#include <string>

namespace Cxx::Core::Utils {

namespace {

bool ReadSimpleName(PCCERT_CONTEXT certificate, DWORD flags, std::wstring& name)
{
    const DWORD size = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    if (size <= 1) {
        return false;
    }
    std::wstring buffer(size, L'\0');
    const DWORD written =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, buffer.data(), size);
    if (written <= 1) {
        return false;
    }
    buffer.resize(written - 1);
    name = std::move(buffer);
    return true;
}

void FillSignerRecord(PCCERT_CONTEXT certificate, SignerCertificateInfo& info)
{
    const CERT_INFO& certInfo = *certificate->pCertInfo;
    // The store keeps the serial number least significant byte first.
    if (certInfo.SerialNumber.cbData > 0) {
        const BYTE* begin = certInfo.SerialNumber.pbData;
        const BYTE* end = begin + certInfo.SerialNumber.cbData;
        info.serialNumber.assign(std::make_reverse_iterator(end), std::make_reverse_iterator(begin));
    }
    ReadSimpleName(certificate, CERT_NAME_ISSUER_FLAG, info.issuerName);
    ReadSimpleName(certificate, 0, info.subjectName);
    if (const char* oid = certInfo.SignatureAlgorithm.pszObjId; oid && *oid) {
        // Object identifiers are plain ASCII digits and dots.
        info.signatureAlgorithm.assign(oid, oid + std::char_traits<char>::length(oid));
    }
    info.validFrom = FileTimeToUnixTime(certInfo.NotBefore);
    info.validTo = FileTimeToUnixTime(certInfo.NotAfter);
}

} // namespace

bool VerifyFileSignature(const std::wstring& path)
{
    return VerifyFileSignature(path, &::WinVerifyTrust);
}

bool VerifyFileSignature(const std::wstring& path, WinVerifyTrustFunction verify)
{
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();

    WINTRUST_DATA trustData = {};
    trustData.cbStruct = sizeof(trustData);
    trustData.dwUIChoice = WTD_UI_NONE;
    trustData.fdwRevocationChecks = WTD_REVOKE_NONE;
    trustData.dwUnionChoice = WTD_CHOICE_FILE;
    trustData.pFile = &fileInfo;
    trustData.dwStateAction = 0;
    trustData.dwProvFlags = WTD_SAFER_FLAG;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // The verdict is the call's own answer: the thread's last error may still
    // hold a value from an earlier call.
    const HRESULT result = static_cast<HRESULT>(verify(nullptr, &action, &trustData));
    return result == S_OK || result == CERT_E_EXPIRED;
}

bool GetFileSignerName(const std::wstring& path, SignerCertificateInfo& info)
{
    if (!VerifyFileSignature(path)) {
        return false;
    }

    Security::CCertStore store;
    Security::CCryptMsg message;
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, store.Put(),
                            message.Put(), nullptr)) {
        return false;
    }

    DWORD size = 0;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) {
        return false;
    }
    std::vector<BYTE> signerBuffer(size);
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, signerBuffer.data(), &size)) {
        return false;
    }
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(signerBuffer.data());

    CERT_INFO wanted = {};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    const Security::CCertContext certificate(::CertFindCertificateInStore(
        store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    if (!certificate) {
        return false;
    }
    FillSignerRecord(certificate.Get(), info);
    return true;
}

} // namespace Cxx::Core::Utils
