#pragma once

// Makes the test prefix trust the test certificate authority that the build
// makes in <build>/test-tls (see make-test-tls.sh).

#include "cxx/security/signer/CertificateHandles.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace KvTest {

// The Unix path of a file of the test material as Wine sees it.
inline std::string TestTlsFile(const std::string& name)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    std::string path = std::string("Z:") + (build ? build : "") + "/test-tls/" + name;
    for (auto& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

// Adds the test root to the machine's root store of the prefix. Wine checks
// server certificates against that store, so nothing of the host's own trust
// store is touched.
inline bool TrustTestRoot()
{
    std::ifstream in(TestTlsFile("ca.der"), std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        return false;
    }
    const Cxx::Security::CCertStore store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    return store && ::CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING,
                                                       reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()),
                                                       CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
}

} // namespace KvTest
