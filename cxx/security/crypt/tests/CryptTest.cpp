#include "cxx/security/crypt/Crypt.h"
#include "cxx/security/crypt/tests/TestCipher.h"

#include <gtest/gtest.h>

#include <string>

using Cxx::Security::CCrypt;
namespace Testing = Cxx::Security::Testing;

namespace {

const std::string keyMaterial = "3RQM-Hb7kWLa2xtD";

// The key that CryptDeriveKey makes for AES-128 from the MD5 hash of the key
// material, worked out on the host with Python's hashlib by the documented
// rule: d = md5(material); md5(bytes(0x36 ^ (d[i] if i < 16 else 0) for i in range(64))).
// It is not the digest itself (0e30a59caabe74f0e8fa0f14e453a5c9).
const unsigned char derivedKey[] = {
    0x24, 0x58, 0xc7, 0x3b, 0x7c, 0x9b, 0xcb, 0xbb, 0x96, 0x93, 0xdb, 0x87, 0xa9, 0xd5, 0x82, 0xb6};

// Made on the host with: printf '%s' TEXT |
//   openssl enc -aes-128-cbc -K 2458c73b7c9bcbbb9693db87a9d582b6 -iv 0
const unsigned char shortListCipher[] = {
    0xe8, 0x0f, 0x26, 0xb5, 0x42, 0x09, 0xfc, 0x0b, 0x91, 0x7e, 0xd2, 0x76, 0x17, 0x3a, 0xd4, 0x75,
    0x0b, 0xbe, 0x08, 0x4b, 0x6a, 0x08, 0x2e, 0xf5, 0xd1, 0xef, 0x43, 0x83, 0x20, 0xfd, 0x1b, 0x71};
const std::string shortListPlain = R"({"Applications":[]})";

// Sixteen plain bytes: the cipher ends in one whole block of padding.
const unsigned char fullBlockCipher[] = {
    0x1c, 0x97, 0x78, 0x73, 0xd2, 0x7c, 0x5e, 0x09, 0xc4, 0x66, 0x71, 0x7f, 0x30, 0xe9, 0x28, 0x06,
    0x83, 0x8e, 0x5b, 0x67, 0x05, 0x44, 0xc2, 0x17, 0x7c, 0x00, 0x02, 0x53, 0xa3, 0x6a, 0x08, 0xa2};
const std::string fullBlockPlain = "0123456789abcdef";

std::string Bytes(const unsigned char* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

} // namespace

TEST(Crypt, DecryptsVectorsMadeIndependentlyOnTheHost)
{
    CCrypt crypt(keyMaterial.data(), keyMaterial.size());
    std::string plain;
    ASSERT_TRUE(crypt.Decrypt(shortListCipher, sizeof(shortListCipher), plain));
    EXPECT_EQ(plain, shortListPlain);

    // The same object decrypts a second message: the final call resets the chain.
    ASSERT_TRUE(crypt.Decrypt(fullBlockCipher, sizeof(fullBlockCipher), plain));
    EXPECT_EQ(plain, fullBlockPlain);
}

TEST(Crypt, TestCipherMatchesTheIndependentVectors)
{
    EXPECT_EQ(Testing::DeriveAes128Key(keyMaterial), Bytes(derivedKey, sizeof(derivedKey)));
    EXPECT_EQ(Testing::EncryptListText(shortListPlain, keyMaterial), Bytes(shortListCipher, sizeof(shortListCipher)));
    EXPECT_EQ(Testing::EncryptListText(fullBlockPlain, keyMaterial), Bytes(fullBlockCipher, sizeof(fullBlockCipher)));
}

TEST(Crypt, RoundTripsTextOfEveryLengthAroundABlock)
{
    CCrypt crypt(keyMaterial.data(), keyMaterial.size());
    for (size_t length = 0; length <= 33; ++length) {
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>('a' + i % 26));
        }
        const std::string cipher = Testing::EncryptListText(text, keyMaterial);
        ASSERT_EQ(cipher.size() % 16, 0u);
        std::string plain = "stale";
        ASSERT_TRUE(crypt.Decrypt(cipher.data(), cipher.size(), plain)) << length;
        EXPECT_EQ(plain, text);
    }
}

TEST(Crypt, FailuresLeaveTheOutputEmpty)
{
    CCrypt crypt(keyMaterial.data(), keyMaterial.size());
    std::string plain = "stale";

    // Another key: the padding check fails.
    const std::string otherKeyCipher = Testing::EncryptListText(shortListPlain + " and more text", "another key");
    EXPECT_FALSE(crypt.Decrypt(otherKeyCipher.data(), otherKeyCipher.size(), plain));
    EXPECT_TRUE(plain.empty());

    plain = "stale";
    EXPECT_FALSE(crypt.Decrypt(shortListCipher, sizeof(shortListCipher) - 1, plain));
    EXPECT_TRUE(plain.empty());

    plain = "stale";
    EXPECT_FALSE(crypt.Decrypt(nullptr, 16, plain));
    EXPECT_TRUE(plain.empty());

    plain = "stale";
    EXPECT_FALSE(crypt.Decrypt(shortListCipher, 0, plain));
    EXPECT_TRUE(plain.empty());
}

TEST(Crypt, NullKeyMaterialMakesNoKey)
{
    CCrypt crypt(nullptr, 16);
    std::string plain = "stale";
    EXPECT_FALSE(crypt.Decrypt(shortListCipher, sizeof(shortListCipher), plain));
    EXPECT_TRUE(plain.empty());
}

TEST(Crypt, LeavesNoKeyContainerBehind)
{
    auto defaultContainerExists = [] {
        Cxx::Security::CCryptProvider provider;
        return ::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_AES, 0) != FALSE;
    };
    if (defaultContainerExists()) {
        GTEST_SKIP() << "the user's default key container already exists";
    }
    {
        CCrypt crypt(keyMaterial.data(), keyMaterial.size());
        std::string plain;
        ASSERT_TRUE(crypt.Decrypt(shortListCipher, sizeof(shortListCipher), plain));
    }
    EXPECT_FALSE(defaultContainerExists());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
}
