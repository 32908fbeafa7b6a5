#pragma once

#include "cxx/network/Url.h"
#include "cxx/network/http/HttpParameters.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Cxx::Network::Http::HttpClient {

// Receives the body of a response chunk by chunk.
class IReadDataCallBack {
public:
    virtual ~IReadDataCallBack() = default;
    // buffer holds bytesRead bytes (of chunkSize asked); totalRead counts every
    // byte delivered so far, this chunk included. Returns false to stop reading.
    virtual bool OnReadData(const char* buffer, std::size_t chunkSize, std::size_t bytesRead,
                            std::uint64_t totalRead, std::uint64_t contentLength) = 0;
    // The body starts again from its first byte, contentLength bytes long: a
    // resumed read was answered with a whole body, which may be another one.
    // True when the receiver has dropped every byte it was given; false fails
    // the read.
    virtual bool OnRestart(std::uint64_t contentLength) = 0;
};

// Supplies the user name and password for a 401 or 407 challenge.
class ICredentialsProvider {
public:
    virtual ~ICredentialsProvider() = default;
    virtual void GetCredentials(std::wstring& user, std::wstring& password) = 0;
};

// Waits for the given time; false when the operation was asked to stop and the
// wait ended early.
using SleepFunction = std::function<bool(std::chrono::milliseconds)>;

// The pause every connection uses unless SetSleeper gives another one.
SleepFunction DefaultSleeper();

// How long an answer may take. A network that goes silent or trickles must
// end a request, never hold it: a silent one meets the time-out, a trickling
// one the header, stall or answer limit. A stop asked of the calling thread
// (Core::Utils::ThisThreadStopToken) ends every wait as well.
struct CReadLimits {
    // Connect, send and receive time-out of each call to the network; a body
    // that brings no byte for this long has broken.
    std::chrono::milliseconds timeout{30000};
    // The status line and headers of a request, its redirects' included, must
    // have come within this time; each re-send of a broken body has its own.
    std::chrono::milliseconds headerTime{60000};
    // A body that brings fewer than stallBytes within stallTime has stalled,
    // which counts as a break (the low-speed limit of curl and BITS).
    std::chrono::milliseconds stallTime{60000};
    std::uint64_t stallBytes = 1024;
    // A whole answer (ReceiveResponse) that takes longer or is larger fails.
    std::chrono::milliseconds answerTime{60000};
    std::size_t answerSize = 1024 * 1024;
    // The clock of every limit but the network calls' own time-outs; empty
    // means the steady clock.
    std::function<std::chrono::steady_clock::time_point()> clock;
};

// One connection to one server, serving one request. Failures throw
// std::shared_ptr<Exception::CNetworkException>; parameter failures throw
// Exception::CNetworkException by value.
class IConnection {
public:
    virtual ~IConnection() = default;

    // The whole body of the response.
    virtual std::vector<char> ReceiveResponse() = 0;
    virtual void ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize) = 0;
    // Answers a 401 or 407 challenge with the provider's credentials and sends again.
    virtual void Authenticate(const std::wstring& headers, const char* body, std::size_t bodySize) = 0;
    // Not owned; must outlive the connection.
    virtual void SetCredentialsProvider(ICredentialsProvider* provider) = 0;
    // parameters may be null. headers are extra request header lines.
    virtual void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                             const std::wstring& headers) = 0;
    // False when there is no request yet or the status cannot be read.
    virtual bool GetStatusCode(std::uint32_t& status) = 0;
    // Used for the pauses between re-sends of a broken download; an empty
    // function means no pause. Defaults to DefaultSleeper().
    virtual void SetSleeper(SleepFunction sleeper) = 0;
    // Takes effect from the next SendRequest; the defaults hold until then.
    virtual void SetReadLimits(const CReadLimits& limits) = 0;
};

// Forwards every operation to a connection over WinInet (useWinInet) or WinHTTP.
class CForwardingHttpClient : public IConnection {
public:
    std::vector<char> ReceiveResponse() override;
    void ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize) override;
    void Authenticate(const std::wstring& headers, const char* body, std::size_t bodySize) override;
    void SetCredentialsProvider(ICredentialsProvider* provider) override;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
    bool GetStatusCode(std::uint32_t& status) override;
    void SetSleeper(SleepFunction sleeper) override;
    void SetReadLimits(const CReadLimits& limits) override;

protected:
    explicit CForwardingHttpClient(std::shared_ptr<IConnection> inner);

private:
    std::shared_ptr<IConnection> m_inner;
};

// scheme: US_Http or US_Https. proxyServer, proxyPort and skipIeProxy are used
// by the WinHTTP stack only. The constructor connects; its failure propagates.
class CSimpleGetHttpClient : public CForwardingHttpClient {
public:
    CSimpleGetHttpClient(const std::wstring& agent, const std::wstring& server, const std::wstring& proxyServer,
                         std::int32_t proxyPort, std::uint16_t port, bool skipIeProxy, bool useWinInet,
                         std::int32_t scheme);
};

class CSimplePostHttpClient : public CForwardingHttpClient {
public:
    CSimplePostHttpClient(const std::wstring& agent, const std::wstring& server, const std::wstring& proxyServer,
                          std::int32_t proxyPort, std::uint16_t port, bool skipIeProxy, bool useWinInet,
                          std::int32_t scheme);
};

} // namespace Cxx::Network::Http::HttpClient
