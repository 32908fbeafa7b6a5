#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Cxx::Core::Utils {

// Who signed a file: read from the signer certificate of its embedded
// Authenticode signature. A field that cannot be read keeps what it held.
struct SignerCertificateInfo {
    // Most significant byte first.
    std::vector<BYTE> serialNumber;
    // Simple display names (CertGetNameStringW, CERT_NAME_SIMPLE_DISPLAY_TYPE).
    std::wstring issuerName;
    std::wstring subjectName;
    // Dotted object identifier, e.g. 1.2.840.113549.1.1.11.
    std::wstring signatureAlgorithm;
    // Seconds since 1970-01-01 UTC.
    std::uint64_t validFrom = 0;
    std::uint64_t validTo = 0;
};

// The WinVerifyTrust signature, so a test can stand in for the platform.
using WinVerifyTrustFunction = LONG(WINAPI*)(HWND window, GUID* action, LPVOID data);

// True when the file's Authenticode signature verifies (no UI, no revocation
// check). A signing certificate that has only expired is accepted.
bool VerifyFileSignature(const std::wstring& path);
bool VerifyFileSignature(const std::wstring& path, WinVerifyTrustFunction verify);

// The signer of a file whose signature verifies. False, with info untouched,
// for an unsigned, tampered or otherwise untrusted file.
bool GetFileSignerName(const std::wstring& path, SignerCertificateInfo& info);

} // namespace Cxx::Core::Utils
