#include "cxx/security/crypt/Crypt.h"

#include <limits>

namespace Cxx::Security {

CCrypt::CCrypt(const void* keyMaterial, std::size_t length)
{
    // A verify context needs no key container, so nothing is left on the machine.
    if (!::CryptAcquireContextW(m_provider.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return;
    }
    if (!::CryptCreateHash(m_provider.Get(), CALG_MD5, 0, 0, m_hash.Put())) {
        return;
    }
    if (keyMaterial == nullptr || length > std::numeric_limits<DWORD>::max()) {
        return;
    }
    if (!::CryptHashData(m_hash.Get(), static_cast<const BYTE*>(keyMaterial), static_cast<DWORD>(length), 0)) {
        return;
    }
    ::CryptDeriveKey(m_provider.Get(), CALG_AES_128, m_hash.Get(), 0, m_key.Put());
}

bool CCrypt::Decrypt(const void* cipher, std::size_t length, std::string& plain) const
{
    // AES cipher text is whole 16-byte blocks. Other lengths are refused here:
    // some providers decrypt the last partial block past the buffer's end.
    constexpr std::size_t blockSize = 16;
    if (!m_provider || !m_hash || !m_key || cipher == nullptr || length == 0 || length % blockSize != 0
        || length > std::numeric_limits<DWORD>::max()) {
        plain.clear();
        return false;
    }
    // Decrypted in a buffer of its own, so a failure never leaves cipher or
    // half-plain bytes in the caller's string.
    std::string buffer(static_cast<const char*>(cipher), length);
    DWORD plainLength = static_cast<DWORD>(length);
    if (!::CryptDecrypt(m_key.Get(), 0, TRUE, 0, reinterpret_cast<BYTE*>(buffer.data()), &plainLength)) {
        plain.clear();
        return false;
    }
    buffer.resize(plainLength);
    plain.swap(buffer);
    return true;
}

} // namespace Cxx::Security
