#include "cxx/network/http/HttpClient.h"

#include "cxx/network/http/WinHttpConnection.h"
#include "cxx/network/http/WinInetConnection.h"

#include <thread>

namespace Cxx::Network::Http::HttpClient {

SleepFunction DefaultSleeper()
{
    return [](std::chrono::milliseconds pause) {
        std::this_thread::sleep_for(pause);
        return true;
    };
}

CForwardingHttpClient::CForwardingHttpClient(std::shared_ptr<IConnection> inner) : m_inner(std::move(inner)) {}

std::vector<char> CForwardingHttpClient::ReceiveResponse()
{
    return m_inner->ReceiveResponse();
}

void CForwardingHttpClient::ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize)
{
    m_inner->ReceiveResponseByChunks(callback, chunkSize);
}

void CForwardingHttpClient::Authenticate(const std::wstring& headers, const char* body, std::size_t bodySize)
{
    m_inner->Authenticate(headers, body, bodySize);
}

void CForwardingHttpClient::SetCredentialsProvider(ICredentialsProvider* provider)
{
    m_inner->SetCredentialsProvider(provider);
}

void CForwardingHttpClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                        const std::wstring& headers)
{
    m_inner->SendRequest(objectPath, parameters, headers);
}

bool CForwardingHttpClient::GetStatusCode(std::uint32_t& status)
{
    return m_inner->GetStatusCode(status);
}

void CForwardingHttpClient::SetSleeper(SleepFunction sleeper)
{
    m_inner->SetSleeper(std::move(sleeper));
}

void CForwardingHttpClient::SetReadLimits(const CReadLimits& limits)
{
    m_inner->SetReadLimits(limits);
}

namespace {

template <typename TWinInet, typename TWinHttp>
std::shared_ptr<IConnection> MakeConnection(const std::wstring& agent, const std::wstring& server,
                                            const std::wstring& proxyServer, std::int32_t proxyPort,
                                            std::uint16_t port, bool skipIeProxy, bool useWinInet,
                                            std::int32_t scheme)
{
    if (useWinInet) {
        return std::make_shared<TWinInet>(agent, server, port, scheme);
    }
    auto connection = std::make_shared<TWinHttp>(agent, server, proxyServer, proxyPort, port, skipIeProxy);
    connection->SetScheme(scheme);
    return connection;
}

} // namespace

CSimpleGetHttpClient::CSimpleGetHttpClient(const std::wstring& agent, const std::wstring& server,
                                           const std::wstring& proxyServer, std::int32_t proxyPort,
                                           std::uint16_t port, bool skipIeProxy, bool useWinInet,
                                           std::int32_t scheme)
    : CForwardingHttpClient(
          MakeConnection<SimpleGetClient::CSimpleGetWinInetClient, SimpleGetClient::CSimpleGetHttpHttpClient>(
              agent, server, proxyServer, proxyPort, port, skipIeProxy, useWinInet, scheme))
{
}

CSimplePostHttpClient::CSimplePostHttpClient(const std::wstring& agent, const std::wstring& server,
                                             const std::wstring& proxyServer, std::int32_t proxyPort,
                                             std::uint16_t port, bool skipIeProxy, bool useWinInet,
                                             std::int32_t scheme)
    : CForwardingHttpClient(
          MakeConnection<SimplePostClient::CSimplePostWinInetClient, SimplePostClient::CSimplePostHttpClient>(
              agent, server, proxyServer, proxyPort, port, skipIeProxy, useWinInet, scheme))
{
}

} // namespace Cxx::Network::Http::HttpClient
