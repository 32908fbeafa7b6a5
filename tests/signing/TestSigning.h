#pragma once

#include <string>

namespace KvTest {

// A file made by make-test-certs.sh, e.g. L"ca.cer" or L"signer.crt".
std::wstring TestCertificatePath(const std::wstring& fileName);

// Adds the test certificate authority to the machine's ROOT store of this
// Wine prefix, so chains of the test signers end in a trusted root as they
// would on a Windows machine that trusts the maker's CA. Idempotent.
bool TrustTestCertificateAuthority();

// True when the certificate's chain ends in a trusted root of this prefix.
bool IsChainTrusted(const std::wstring& certificatePath);

} // namespace KvTest
