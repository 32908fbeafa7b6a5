#pragma once

#include <cstdint>

namespace Cxx::Network::Exception {
class CNetworkException;
}

namespace Cxx::Network::Downloader {

// The result of one download.
enum EDownloadStatus : std::int32_t {
    Success = 0,
    Md5Mismatch = 1,
    NetworkUnreachable = 2,
    RequestFailed = 3,
    TimedOut = 4,
    ReceiveFailed = 5,
    Cancelled = 6,
    InternalError = 7,
    InvalidUrl = 8,
    ClientError = 9,
    ServerError = 10,
    UnexpectedStatus = 11,
    Md5SourceUnreadable = 12,
    Md5ProviderFailed = 13,
    Md5TextFailed = 14,
    Md5ReadFailed = 15,
    Unknown = 255,
};

// The status for a failure of the HTTP client; a null exception gives Unknown.
EDownloadStatus StatusFromNetworkException(const Exception::CNetworkException* failure);

} // namespace Cxx::Network::Downloader
