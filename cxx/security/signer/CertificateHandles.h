#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <wincrypt.h>

namespace Cxx::Security {

struct CertStoreTraits {
    static HCERTSTORE Invalid() { return nullptr; }
    static void Close(HCERTSTORE h) { ::CertCloseStore(h, 0); }
};
struct CryptMsgTraits {
    static HCRYPTMSG Invalid() { return nullptr; }
    static void Close(HCRYPTMSG h) { ::CryptMsgClose(h); }
};
struct CertContextTraits {
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static void Close(PCCERT_CONTEXT h) { ::CertFreeCertificateContext(h); }
};
struct CertChainTraits {
    static PCCERT_CHAIN_CONTEXT Invalid() { return nullptr; }
    static void Close(PCCERT_CHAIN_CONTEXT h) { ::CertFreeCertificateChain(h); }
};

using CCertStore = Core::CUniqueHandle<CertStoreTraits>;
using CCryptMsg = Core::CUniqueHandle<CryptMsgTraits>;
using CCertContext = Core::CUniqueHandle<CertContextTraits>;
using CCertChain = Core::CUniqueHandle<CertChainTraits>;

} // namespace Cxx::Security
