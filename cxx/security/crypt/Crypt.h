#pragma once

#include "cxx/security/crypt/CryptHandle.h"

#include <cstddef>
#include <string>

namespace Cxx::Security {

// Decrypts one AES-128 message (CBC, zero IV, PKCS #5 padding) under the key
// that CryptDeriveKey makes from an MD5 hash of the key material.
class CCrypt {
public:
    // A failed step leaves the object without a key; Decrypt then answers false.
    CCrypt(const void* keyMaterial, std::size_t length);
    virtual ~CCrypt() = default;

    CCrypt(const CCrypt&) = delete;
    CCrypt& operator=(const CCrypt&) = delete;

    // On true, plain holds exactly the plain bytes; on false it is empty.
    bool Decrypt(const void* cipher, std::size_t length, std::string& plain) const;

private:
    // Declared in this order so that the hash goes first, the context last.
    CCryptProvider m_provider;
    CCryptKey m_key;
    CCryptHash m_hash;
};

} // namespace Cxx::Security
