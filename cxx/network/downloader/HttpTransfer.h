#pragma once

#include "cxx/network/downloader/DownloadStatus.h"
#include "cxx/network/http/HttpClient.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace Cxx::Network::Downloader {

// Gets the percentage done (0 to 100); returns false to stop reading.
using TProgressCallback = std::function<bool(double)>;

// Seams of a transfer. The defaults make the real GET over WinInet.
struct CTransferOptions {
    // Makes the connected GET client for host, port and scheme (an EUrlScheme).
    std::function<std::shared_ptr<Http::HttpClient::IConnection>(const std::wstring& host, std::uint16_t port,
                                                                 std::int32_t scheme)>
        connect;
    // The pause before each re-send of a broken body; empty keeps the connection's own.
    Http::HttpClient::SleepFunction sleeper;
    // Time-outs and the stall limit of the GET.
    Http::HttpClient::CReadLimits limits;
};

// Gives a string-stream target that holds nothing yet room for size bytes in
// one block, so that a body of announced length is stored without regrowing
// (each regrowth copies everything and briefly holds old and new block).
// False, with badbit set, when the memory cannot be had: the body could not
// be stored anyway. Other streams are left alone.
bool ReserveStringStream(std::ostream& stream, std::uint64_t size);

// Sends the GET on construction and writes the body, chunk by chunk, into the stream.
template <typename TCallback>
class CDownloadHelperT : public Http::HttpClient::IReadDataCallBack {
public:
    CDownloadHelperT(std::shared_ptr<Http::HttpClient::IConnection> connection, const std::wstring& objectPath,
                     std::ostream& stream, std::size_t chunkSize, TCallback progress,
                     const Http::HttpClient::IParametersSet* parameters)
        : m_stream(stream), m_start(stream.tellp()), m_connection(std::move(connection)),
          m_progress(std::move(progress)), m_chunkSize(chunkSize)
    {
        m_connection->SendRequest(objectPath, parameters, std::wstring());
    }

    // Reads the whole body. Failures of the connection pass through as its exceptions.
    EDownloadStatus Receive()
    {
        m_connection->ReceiveResponseByChunks(*this, m_chunkSize);
        if (m_writeFailed) {
            return Unknown;
        }
        if (m_stopped) {
            return Cancelled;
        }
        if (m_progress) {
            m_progress(100.0);
        }
        m_stream.flush();
        return m_stream ? Success : Unknown;
    }

    bool OnReadData(const char* buffer, std::size_t, std::size_t bytesRead, std::uint64_t totalRead,
                    std::uint64_t contentLength) override
    {
        if (!m_reserved) {
            m_reserved = true;
            if (!ReserveStringStream(m_stream, contentLength)) {
                m_writeFailed = true;
                return false;
            }
        }
        m_stream.write(buffer, static_cast<std::streamsize>(bytesRead));
        if (!m_stream) {
            m_writeFailed = true;
            return false;
        }
        m_extent = std::max(m_extent, totalRead);
        if (!m_progress) {
            return true;
        }
        // Without a length there is no fraction to report; a body longer than
        // announced stops at 100.
        const double percent =
            contentLength == 0 ? 0.0 : std::min(100.0, static_cast<double>(totalRead) * 100.0 / contentLength);
        if (!m_progress(percent)) {
            m_stopped = true;
            return false;
        }
        return true;
    }

    // Rewinds to where the transfer began. A stream cannot be cut short, so the
    // new body must be long enough to cover every byte written before.
    bool OnRestart(std::uint64_t contentLength) override
    {
        if (m_start == std::streampos(-1) || contentLength < m_extent) {
            return false;
        }
        return static_cast<bool>(m_stream.seekp(m_start));
    }

private:
    std::ostream& m_stream;
    // Where the body begins in the stream; -1 when the stream cannot seek.
    std::streampos m_start;
    // The most bytes of a body written so far.
    std::uint64_t m_extent = 0;
    std::shared_ptr<Http::HttpClient::IConnection> m_connection;
    TCallback m_progress;
    std::size_t m_chunkSize;
    bool m_stopped = false;
    bool m_writeFailed = false;
    bool m_reserved = false;
};

// GETs an http or https URL (scheme, host, path and query as the URL gives
// them; the port is the argument) into the stream. Never throws. A stop asked
// by the callback gives Cancelled; a stream that fails on writing ends the
// transfer with Unknown. When a resumed read is answered with the whole body
// again, the stream is rewound to where the transfer began; one that cannot
// seek fails the transfer (ReceiveFailed) rather than mix two bodies.
// parameters may be null; otherwise they are appended to the query.
EDownloadStatus TransferUrlToStream(const std::wstring& url, std::ostream& stream, int chunkSize,
                                    TProgressCallback progress, std::uint16_t port,
                                    const Http::HttpClient::IParametersSet* parameters,
                                    const CTransferOptions& options = CTransferOptions());

// The same into a file, created or truncated, opened by its wide path. A file
// that cannot be opened (no request is made then) or written gives Unknown.
EDownloadStatus TransferUrlToFile(const std::wstring& url, const std::wstring& path, int chunkSize,
                                  TProgressCallback progress, std::uint16_t port,
                                  const Http::HttpClient::IParametersSet* parameters,
                                  const CTransferOptions& options = CTransferOptions());

} // namespace Cxx::Network::Downloader
