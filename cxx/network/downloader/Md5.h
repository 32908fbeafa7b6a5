#pragma once

#include "cxx/network/downloader/DownloadStatus.h"

#include <istream>
#include <string>

namespace Cxx::Network::Downloader {

// Results of the digest steps.
enum EDigestResult : int {
    DR_Ok = 0,
    DR_SourceUnreadable = 1,
    DR_ProviderFailed = 2,
    DR_TextFailed = 3,
    DR_ReadFailed = 4,
};

// The MD5 of a file, opened by its wide path, as 32 lower-case hex digits.
EDigestResult FileMd5(const std::wstring& path, std::wstring& digest);

// The MD5 of a seekable stream from its start; the stream is left cleared and
// rewound to its start.
EDigestResult StreamMd5(std::istream& stream, std::wstring& digest);

// The download status for a digest step: Success when it worked and the digest
// equals the expected one regardless of case.
EDownloadStatus DigestStatus(EDigestResult result, const std::wstring& digest, const std::wstring& expected);

} // namespace Cxx::Network::Downloader
