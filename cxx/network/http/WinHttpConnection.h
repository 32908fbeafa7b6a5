#pragma once

// Kept free of winhttp.h so that it can meet wininet.h in one translation unit.

#include "cxx/core/Handle.h"
#include "cxx/network/http/HttpClient.h"

namespace Cxx::Network::Http::HttpClient::WinConnection {

struct WinHttpHandleTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* handle);
};
using CWinHttpHandle = Core::CUniqueHandle<WinHttpHandleTraits>;

// One synchronous connection over WinHTTP: a named proxy, the current user's
// proxy settings, or the default.
class CWinHttpConnection : public IConnection {
public:
    CWinHttpConnection(const std::wstring& agent, const std::wstring& server, const std::wstring& proxyServer,
                       std::int32_t proxyPort, std::uint16_t port, bool skipIeProxy);

    std::vector<char> ReceiveResponse() override;
    void ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize) override;
    void Authenticate(const std::wstring& headers, const char* body, std::size_t bodySize) override;
    void SetCredentialsProvider(ICredentialsProvider* provider) override { m_credentials = provider; }
    bool GetStatusCode(std::uint32_t& status) override;
    // This stack never pauses.
    void SetSleeper(SleepFunction) override {}
    // Every client reads over WinInet; this stack keeps WinHTTP's own time-outs.
    void SetReadLimits(const CReadLimits&) override {}

    // US_Https opens secure requests.
    void SetScheme(std::int32_t scheme) { m_scheme = scheme; }

protected:
    // Opens the request for verb; secure when the scheme is HTTPS.
    void OpenRequest(const wchar_t* verb, const std::wstring& objectName);
    // Receives the answer, throws for a status from 400 to 599, then answers
    // any challenge.
    void FinishRequest(const char* body, std::size_t bodySize);

    // Closed in reverse order: request, connection, session.
    CWinHttpHandle m_session;
    CWinHttpHandle m_connection;
    CWinHttpHandle m_request;

private:
    std::int32_t m_scheme = US_Http;
    ICredentialsProvider* m_credentials = nullptr;
};

} // namespace Cxx::Network::Http::HttpClient::WinConnection

namespace Cxx::Network::Http::HttpClient::SimpleGetClient {

class CSimpleGetHttpHttpClient : public WinConnection::CWinHttpConnection {
public:
    using CWinHttpConnection::CWinHttpConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimpleGetClient

namespace Cxx::Network::Http::HttpClient::SimplePostClient {

class CSimplePostHttpClient : public WinConnection::CWinHttpConnection {
public:
    using CWinHttpConnection::CWinHttpConnection;
    void SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                     const std::wstring& headers) override;
};

} // namespace Cxx::Network::Http::HttpClient::SimplePostClient
