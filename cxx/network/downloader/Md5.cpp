#include "cxx/network/downloader/Md5.h"

#include "cxx/core/Handle.h"
#include "cxx/security/crypt/CryptHandle.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <sstream>
#include <string_view>
#include <vector>

namespace Cxx::Network::Downloader {

namespace {

// Large blocks: with blocks of 4 KiB a fifth of the digest's time went into
// the reads.
constexpr std::size_t BlockSize = 1 << 20;

using Security::CCryptHash;
using Security::CCryptProvider;

bool AcquireProvider(CCryptProvider& provider)
{
    if (::CryptAcquireContextW(provider.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        return true;
    }
    if (::GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET)) {
        return ::CryptAcquireContextW(provider.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0) != FALSE;
    }
    return false;
}

// Hashes the blocks that next(block) points to until it gives 0; next
// answers -1 on a failure.
EDigestResult HashBlocks(HCRYPTPROV provider, const std::function<long long(const BYTE*& block)>& next,
                         std::wstring& digest)
{
    CCryptHash hash;
    if (!::CryptCreateHash(provider, CALG_MD5, 0, 0, hash.Put())) {
        return DR_ProviderFailed;
    }
    for (;;) {
        const BYTE* block = nullptr;
        const long long count = next(block);
        if (count < 0 || count > static_cast<long long>(BlockSize)) {
            return DR_ReadFailed;
        }
        if (count == 0) {
            break;
        }
        if (!::CryptHashData(hash.Get(), block, static_cast<DWORD>(count), 0)) {
            return DR_ReadFailed;
        }
    }
    BYTE value[16] = {};
    DWORD size = sizeof(value);
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &size, 0) || size != sizeof(value)) {
        return DR_TextFailed;
    }
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (const BYTE byte : value) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    digest = text;
    return DR_Ok;
}

// Hands out blocks copied by read(buffer, size), which answers -1 on a failure.
std::function<long long(const BYTE*&)> CopiedBlocks(std::vector<BYTE>& buffer,
                                                   std::function<long long(BYTE*, std::size_t)> read)
{
    buffer.resize(BlockSize);
    return [&buffer, read = std::move(read)](const BYTE*& block) {
        block = buffer.data();
        return read(buffer.data(), buffer.size());
    };
}

} // namespace

EDigestResult FileMd5(const std::wstring& path, std::wstring& digest)
{
    try {
        CCryptProvider provider;
        if (!AcquireProvider(provider)) {
            return DR_ProviderFailed;
        }
        Core::CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            return DR_SourceUnreadable;
        }
        std::vector<BYTE> buffer;
        return HashBlocks(provider.Get(),
                          CopiedBlocks(buffer,
                                       [&file](BYTE* into, std::size_t size) -> long long {
                                           DWORD read = 0;
                                           if (!::ReadFile(file.Get(), into, static_cast<DWORD>(size), &read,
                                                           nullptr)) {
                                               return -1;
                                           }
                                           return read;
                                       }),
                          digest);
    } catch (const std::exception&) {
        return DR_ReadFailed;
    }
}

EDigestResult StreamMd5(std::istream& stream, std::wstring& digest)
{
    try {
        CCryptProvider provider;
        if (!AcquireProvider(provider)) {
            return DR_ProviderFailed;
        }
        if (stream.fail()) {
            return DR_SourceUnreadable;
        }
        stream.clear();
        if (!stream.seekg(0, std::ios::beg)) {
            return DR_SourceUnreadable;
        }
        std::vector<BYTE> buffer;
        std::function<long long(const BYTE*&)> next;
        if (const auto* strings = dynamic_cast<const std::stringbuf*>(stream.rdbuf())) {
            // Hashed where it lies: a copy of each block costs a pass over the whole download.
            const std::string_view data = strings->view();
            next = [data, offset = std::size_t(0)](const BYTE*& block) mutable -> long long {
                const std::size_t count = std::min(BlockSize, data.size() - offset);
                block = reinterpret_cast<const BYTE*>(data.data() + offset);
                offset += count;
                return static_cast<long long>(count);
            };
        } else {
            next = CopiedBlocks(buffer, [&stream](BYTE* into, std::size_t size) -> long long {
                stream.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
                if (stream.bad()) {
                    return -1;
                }
                return stream.gcount();
            });
        }
        const EDigestResult result = HashBlocks(provider.Get(), next, digest);
        stream.clear();
        stream.seekg(0, std::ios::beg);
        return result;
    } catch (const std::exception&) {
        return DR_ReadFailed;
    }
}

EDownloadStatus DigestStatus(EDigestResult result, const std::wstring& digest, const std::wstring& expected)
{
    switch (result) {
    case DR_Ok: {
        const auto lower = [](wchar_t c) { return c < 0x80 ? static_cast<wchar_t>(std::towlower(c)) : c; };
        const bool same = digest.size() == expected.size() &&
                          std::equal(digest.begin(), digest.end(), expected.begin(),
                                     [&lower](wchar_t a, wchar_t b) { return lower(a) == lower(b); });
        return same ? Success : Md5Mismatch;
    }
    case DR_SourceUnreadable:
        return Md5SourceUnreadable;
    case DR_ProviderFailed:
        return Md5ProviderFailed;
    case DR_TextFailed:
        return Md5TextFailed;
    default:
        return Md5ReadFailed;
    }
}

} // namespace Cxx::Network::Downloader
