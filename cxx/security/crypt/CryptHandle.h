#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <wincrypt.h>

namespace Cxx::Security {

struct CryptProviderTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static void Close(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
};
struct CryptKeyTraits {
    static HCRYPTKEY Invalid() { return 0; }
    static void Close(HCRYPTKEY h) { ::CryptDestroyKey(h); }
};
struct CryptHashTraits {
    static HCRYPTHASH Invalid() { return 0; }
    static void Close(HCRYPTHASH h) { ::CryptDestroyHash(h); }
};

using CCryptProvider = Core::CUniqueHandle<CryptProviderTraits>;
using CCryptKey = Core::CUniqueHandle<CryptKeyTraits>;
using CCryptHash = Core::CUniqueHandle<CryptHashTraits>;

} // namespace Cxx::Security
