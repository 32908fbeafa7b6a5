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

// One synchronous connection over WinInet with the system's preconfigured proxy.
class CWinInetConnection : public IConnection {
public:
    // Pause before each re-send of a broken chunked read.
    static constexpr std::chrono::milliseconds ResendPause{6000};
    static constexpr int ResendBudget = 10;

    CWinInetConnection(const std::wstring& agent, const std::wstring& server, std::uint16_t port,
                       std::int32_t scheme);
    ~CWinInetConnection() override;

    // Fails once the answer outgrows the limits' answer size or time.
    std::vector<char> ReceiveResponse() override;
    // Resumes with a Range request when the connection breaks, stalls or the
    // body ends early. Ten re-sends in a row that bring no new byte (or only
    // stalled ones), a refused (416) one, or one answered with no byte at all
    // end the read.
    void ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize) override;
    // WinInet answers challenges itself: neither credentials nor a second send are needed.
    void Authenticate(const std::wstring&, const char*, std::size_t) override {}
    void SetCredentialsProvider(ICredentialsProvider*) override {}
    bool GetStatusCode(std::uint32_t& status) override;
    void SetSleeper(SleepFunction sleeper) override { m_sleeper = std::move(sleeper); }
    void SetReadLimits(const CReadLimits& limits) override { m_limits = limits; }

protected:
    // Throws when the status is from 400 to 599.
    void CheckStatus();
    // The limits' time-out for connecting, sending and receiving, on the request.
    void SetRequestTimeouts();
    // Closes any former request and opens one of the object with its time-outs;
    // false (the error in GetLastError) when it cannot be made.
    bool OpenRequest(const wchar_t* verb, const std::wstring& objectName, unsigned long flags);
    // Adds the secure protocols to the user's setting, on systems that need it, while this lives.
    void WidenSecureProtocols();

    // Declared first so that it restores the setting after every handle is closed.
    CTlsValidator m_tlsValidator;
    std::uint16_t m_port;
    std::int32_t m_scheme;
    CInternetHandle m_session;
    CInternetHandle m_connection;
    CInternetHandle m_request;

private:
    // Re-sends the request for the bytes from `total` on. A whole body in
    // answer restarts the callback and the counts from zero.
    void Resume(IReadDataCallBack& callback, std::uint64_t& total, std::uint64_t& contentLength, int& budget,
                unsigned long error);
    std::chrono::steady_clock::time_point Now() const;

    SleepFunction m_sleeper;
    CReadLimits m_limits;
    // What the request asked for, asked again on each re-send.
    const wchar_t* m_verb = L"GET";
    std::wstring m_objectName;
    unsigned long m_openFlags = 0;
};

} // namespace Cxx::Network::Http::HttpClient::WinConnection

namespace Cxx::Network::Http::HttpClient::SimpleGetClient {

// GET of objectPath, with "?" and the parameters when a set is given, with
// the limits' time-outs: WinInet's own default may wait as long as a silent
// connection stays open.
class CSimpleGetWinInetClient : public WinConnection::CWinInetConnection {
public:
    using CWinInetConnection::CWinInetConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimpleGetClient

namespace Cxx::Network::Http::HttpClient::SimplePostClient {

// POST of the parameters as the body, with the limits' time-outs and no retry.
class CSimplePostWinInetClient : public WinConnection::CWinInetConnection {
public:
    using CWinInetConnection::CWinInetConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimplePostClient
