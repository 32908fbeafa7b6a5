#pragma once

// Test-side encryption of list files, made the way the list tools make them.
// The AES-128 key is worked out here by CryptDeriveKey's documented rule for
// AES from a hash outside the SHA-2 family (even when the digest is as long as
// the key): with d the MD5 digest of the key material, the key is the first 16
// bytes of MD5(d ^ 0x36 * 64) || MD5(d ^ 0x5C * 64). It is imported as a plain
// key blob, so it never goes through CryptDeriveKey; CBC, zero IV, PKCS #5.

#include "cxx/security/crypt/CryptHandle.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace Cxx::Security::Testing {

inline std::string Md5Digest(const std::string& data)
{
    CCryptProvider provider;
    CCryptHash hash;
    if (!::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)
        || !::CryptCreateHash(provider.Get(), CALG_MD5, 0, 0, hash.Put())
        || !::CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
        throw std::runtime_error("MD5 not available");
    }
    std::string digest(16, '\0');
    DWORD size = static_cast<DWORD>(digest.size());
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, reinterpret_cast<BYTE*>(digest.data()), &size, 0) || size != 16) {
        throw std::runtime_error("MD5 digest not read");
    }
    return digest;
}

inline std::string EncryptWithRawKey(const std::string& plain, const std::string& rawKey)
{
    struct {
        BLOBHEADER header;
        DWORD size;
        BYTE key[16];
    } blob{};
    if (rawKey.size() != sizeof(blob.key)) {
        throw std::invalid_argument("AES-128 needs 16 key bytes");
    }
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.aiKeyAlg = CALG_AES_128;
    blob.size = sizeof(blob.key);
    std::memcpy(blob.key, rawKey.data(), sizeof(blob.key));

    CCryptProvider provider;
    CCryptKey key;
    if (!::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)
        || !::CryptImportKey(provider.Get(), reinterpret_cast<const BYTE*>(&blob), sizeof(blob), 0, 0, key.Put())) {
        throw std::runtime_error("AES key not imported");
    }
    DWORD mode = CRYPT_MODE_CBC;
    BYTE iv[16] = {};
    if (!::CryptSetKeyParam(key.Get(), KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0)
        || !::CryptSetKeyParam(key.Get(), KP_IV, iv, 0)) {
        throw std::runtime_error("AES key parameters not set");
    }
    std::vector<BYTE> buffer(plain.begin(), plain.end());
    buffer.resize(plain.size() + 16);
    DWORD length = static_cast<DWORD>(plain.size());
    if (!::CryptEncrypt(key.Get(), 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) {
        throw std::runtime_error("AES encryption failed");
    }
    return std::string(buffer.begin(), buffer.begin() + length);
}

inline std::string DeriveAes128Key(const std::string& keyMaterial)
{
    const std::string digest = Md5Digest(keyMaterial);
    std::string inner(64, '\x36');
    std::string outer(64, '\x5c');
    for (size_t i = 0; i < digest.size(); ++i) {
        inner[i] = static_cast<char>(inner[i] ^ digest[i]);
        outer[i] = static_cast<char>(outer[i] ^ digest[i]);
    }
    return (Md5Digest(inner) + Md5Digest(outer)).substr(0, 16);
}

inline std::string EncryptListText(const std::string& plain, const std::string& keyMaterial)
{
    return EncryptWithRawKey(plain, DeriveAes128Key(keyMaterial));
}

} // namespace Cxx::Security::Testing
