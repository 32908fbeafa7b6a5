#pragma once

// Kept free of wininet.h so that it can meet winhttp.h in one translation unit.

#include "cxx/core/Handle.h"
#include "cxx/network/TlsValidator.h"
#include "cxx/network/http/HttpClient.h"

namespace Cxx::Network::Http::HttpClient::WinConnection {

struct InternetHandleTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* handle);
};
using CInternetHandle = Core::CUniqueHandle<InternetHandleTraits>;

// What a request shares with WinInet's worker threads; defined with the code.
struct CAsyncRequest;

// One connection over WinInet with the system's preconfigured proxy. Every
// call runs asynchronously and the calling thread waits for its completion
// within the limits: a synchronous call could not be bounded (a trickle
// restarts each time-out) nor ended by a stop.
class CWinInetConnection : public IConnection {
public:
    // Pause before each re-send of a broken chunked read.
    static constexpr std::chrono::milliseconds ResendPause{6000};
    static constexpr int ResendBudget = 10;
    // A break gives the re-send budget back only when the body has come this
    // far beyond the furthest point of every earlier break.
    static constexpr std::uint64_t RefillBytes = 1024;
    // Redirects one request follows before it fails.
    static constexpr int MaxRedirects = 5;

    CWinInetConnection(const std::wstring& agent, const std::wstring& server, std::uint16_t port,
                       std::int32_t scheme);
    ~CWinInetConnection() override;

    // Fails once the answer outgrows the limits' answer size or time.
    std::vector<char> ReceiveResponse() override;
    // Resumes with a Range request when the connection breaks, goes silent,
    // stalls or the body ends early. Ten re-sends in a row that do not bring
    // the body a kilobyte further (stalled ones never do), a refused (416)
    // one, or one answered with no byte at all end the read.
    void ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize) override;
    // WinInet answers challenges itself: neither credentials nor a second send are needed.
    void Authenticate(const std::wstring&, const char*, std::size_t) override {}
    void SetCredentialsProvider(ICredentialsProvider*) override {}
    bool GetStatusCode(std::uint32_t& status) override;
    void SetSleeper(SleepFunction sleeper) override { m_sleeper = std::move(sleeper); }
    void SetReadLimits(const CReadLimits& limits) override { m_limits = limits; }

protected:
    // Throws a failed step of a request: code, message, system error.
    using TThrow = void (*)(std::int32_t, const char*, unsigned long);

    // Sends the request and follows its redirects itself, each with the same
    // verb, headers and body, never from https to http. A request that cannot
    // be made or sent fails through `fail` (code 3); a status from 400 to 599
    // throws its own code.
    void SendFollowingRedirects(const wchar_t* verb, const std::wstring& target, unsigned long flags,
                                const std::wstring& headers, const char* body, std::size_t bodySize, TThrow fail);

private:
    using TTime = std::chrono::steady_clock::time_point;

    // Closes any former request and opens one of the object with its time-outs;
    // false (the error in GetLastError) when it cannot be made.
    bool OpenRequest(const wchar_t* verb, const std::wstring& objectName, unsigned long flags);
    // Closes the request; a call still running on it completes into its own state.
    void CloseRequest();
    // The limits' time-out for connecting, sending and receiving, on the request.
    void SetRequestTimeouts();
    // Adds the secure protocols to the user's setting, on systems that need it, while this lives.
    void WidenSecureProtocols();
    // Sends the open request; its status line and headers must have come by
    // the deadline. The error, 0 on success.
    unsigned long Send(const std::wstring& headers, const char* body, std::size_t bodySize, TTime deadline);
    // Reads what has arrived, up to size bytes, into the request's buffer;
    // waits until the deadline for the first byte. 0 bytes read: the body ended.
    unsigned long ReadArrived(std::size_t size, TTime deadline, unsigned long& read);
    const char* ReadBuffer() const;
    // Waits for the running call until the deadline or a stop, which close
    // the request. The call's error, 0 on success.
    unsigned long Await(TTime deadline);
    // Re-sends the request for the bytes from `total` on. A whole body in
    // answer restarts the callback and the counts from zero.
    void Resume(IReadDataCallBack& callback, std::uint64_t& total, std::uint64_t& contentLength, int& budget,
                unsigned long error);
    TTime Now() const;

    // Declared first so that it restores the setting after every handle is closed.
    CTlsValidator m_tlsValidator;
    std::uint16_t m_port;
    std::int32_t m_scheme;
    CInternetHandle m_session;
    CInternetHandle m_connection;
    CInternetHandle m_request;
    std::shared_ptr<CAsyncRequest> m_async;
    SleepFunction m_sleeper;
    CReadLimits m_limits;
    // What the request asked for, asked again on each re-send.
    const wchar_t* m_verb = L"GET";
    std::wstring m_objectName;
    unsigned long m_openFlags = 0;
};

} // namespace Cxx::Network::Http::HttpClient::WinConnection

namespace Cxx::Network::Http::HttpClient::SimpleGetClient {

// GET of objectPath, with "?" and the parameters when a set is given.
class CSimpleGetWinInetClient : public WinConnection::CWinInetConnection {
public:
    using CWinInetConnection::CWinInetConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimpleGetClient

namespace Cxx::Network::Http::HttpClient::SimplePostClient {

// POST of the parameters as the body, with no retry.
class CSimplePostWinInetClient : public WinConnection::CWinInetConnection {
public:
    using CWinInetConnection::CWinInetConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimplePostClient
