#include "cxx/network/downloader/HttpTransfer.h"

#include "cxx/network/NetworkException.h"
#include "cxx/network/Url.h"
#include "cxx/network/http/HttpDetail.h"

#include <fstream>
#include <new>
#include <sstream>

namespace Cxx::Network::Downloader {

using Exception::CNetworkException;
using Http::HttpClient::IConnection;
using Http::HttpClient::IParametersSet;

namespace {

EDownloadStatus Transfer(const CUrl& cracked, std::ostream& stream, int chunkSize, TProgressCallback progress,
                         std::uint16_t port, const IParametersSet* parameters, const CTransferOptions& options)
{
    const std::int32_t scheme = cracked.GetScheme() == US_Https ? US_Https : US_Http;
    std::wstring objectPath = cracked.GetPathAndQuery();
    if (parameters && !cracked.GetQuery().empty()) {
        // The URL has a query of its own: the parameters extend it.
        objectPath += L"&" + Http::HttpClient::Detail::QueryText(*parameters);
        parameters = nullptr;
    }
    std::shared_ptr<IConnection> connection =
        options.connect ? options.connect(cracked.GetHostName(), port, scheme)
                        : std::make_shared<Http::HttpClient::CSimpleGetHttpClient>(
                              L"", cracked.GetHostName(), L"", 0, port, false, true, scheme);
    if (!connection) {
        return Unknown;
    }
    if (options.sleeper) {
        connection->SetSleeper(options.sleeper);
    }
    connection->SetReadLimits(options.limits);
    CDownloadHelperT<TProgressCallback> helper(std::move(connection), objectPath, stream,
                                               static_cast<std::size_t>(chunkSize), std::move(progress), parameters);
    return helper.Receive();
}

bool TryReserve(std::string& room, std::size_t size)
{
    try {
        room.reserve(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

bool ReserveStringStream(std::ostream& stream, std::uint64_t size)
{
    auto* strings = dynamic_cast<std::stringbuf*>(stream.rdbuf());
    if (!strings || !strings->view().empty() || size == 0) {
        return true;
    }
    std::string room;
    if (size > room.max_size() || !TryReserve(room, static_cast<std::size_t>(size))) {
        stream.setstate(std::ios::badbit);
        return false;
    }
    strings->str(std::move(room));
    return true;
}

EDownloadStatus TransferUrlToStream(const std::wstring& url, std::ostream& stream, int chunkSize,
                                    TProgressCallback progress, std::uint16_t port, const IParametersSet* parameters,
                                    const CTransferOptions& options)
{
    CUrl cracked;
    if (!cracked.CrackUrl(url)) {
        return InvalidUrl;
    }
    if (chunkSize <= 0) {
        return Unknown;
    }
    try {
        return Transfer(cracked, stream, chunkSize, std::move(progress), port, parameters, options);
    } catch (const std::shared_ptr<CNetworkException>& failure) {
        return StatusFromNetworkException(failure.get());
    } catch (const std::exception&) {
        // Parameter failures (thrown by value) and anything else of the library.
        return Unknown;
    }
}

EDownloadStatus TransferUrlToFile(const std::wstring& url, const std::wstring& path, int chunkSize,
                                  TProgressCallback progress, std::uint16_t port, const IParametersSet* parameters,
                                  const CTransferOptions& options)
{
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::out | std::ios::trunc);
    if (!file.is_open()) {
        return Unknown;
    }
    EDownloadStatus status = TransferUrlToStream(url, file, chunkSize, std::move(progress), port, parameters, options);
    file.close();
    if (status == Success && file.fail()) {
        status = Unknown;
    }
    return status;
}

} // namespace Cxx::Network::Downloader
