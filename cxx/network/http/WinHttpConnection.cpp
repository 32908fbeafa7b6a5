#include "cxx/network/http/WinHttpConnection.h"

#include "cxx/network/http/HttpDetail.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

namespace Cxx::Network::Http::HttpClient {

using Exception::CNetworkException;
using Exception::CWinHttpNetworkException;
using Exception::NEC_Authentication;
using Exception::NEC_Connect;
using Exception::NEC_ProxyConfig;
using Exception::NEC_ReadBody;
using Exception::NEC_Request;

namespace {

constexpr const char* ChunkReadFailed = "Error by receiving data from server ( asynchronously ).";
// Sends of one request, the first included, when WinHTTP asks to send again.
constexpr int MaxSends = 4;

[[noreturn]] void ThrowWinHttp(std::int32_t code, const char* message, DWORD error)
{
    Detail::Throw<CWinHttpNetworkException>(code, message, error);
}

struct GlobalStringTraits {
    static wchar_t* Invalid() { return nullptr; }
    static void Close(wchar_t* text) { ::GlobalFree(text); }
};
using CGlobalString = Core::CUniqueHandle<GlobalStringTraits>;

struct ProxySettings {
    DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    std::wstring name;
    std::wstring bypass;
};

void UseNamedProxy(ProxySettings& settings, const wchar_t* name, const wchar_t* bypass)
{
    settings.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    settings.name = name;
    settings.bypass = bypass ? bypass : L"";
}

// The proxy of the current user's Internet settings, else WinHTTP's own default.
ProxySettings ReadUserProxy()
{
    ProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        Detail::Throw<CNetworkException>(NEC_ProxyConfig, "Can't get IE proxy configuration for local account.",
                                         ::GetLastError());
    }
    const CGlobalString autoConfigUrl(user.lpszAutoConfigUrl);
    const CGlobalString userProxy(user.lpszProxy);
    const CGlobalString userBypass(user.lpszProxyBypass);
    if (userProxy) {
        UseNamedProxy(settings, userProxy.Get(), userBypass.Get());
        return settings;
    }
    WINHTTP_PROXY_INFO info{};
    if (!::WinHttpGetDefaultProxyConfiguration(&info)) {
        Detail::Throw<CNetworkException>(NEC_ProxyConfig, "Can't get IE proxy configuration from Registry.",
                                         ::GetLastError());
    }
    const CGlobalString defaultProxy(info.lpszProxy);
    const CGlobalString defaultBypass(info.lpszProxyBypass);
    if (defaultProxy) {
        UseNamedProxy(settings, defaultProxy.Get(), defaultBypass.Get());
    }
    return settings;
}

// Basic is never offered: it would send the password in the clear.
DWORD ChooseAuthScheme(DWORD supported)
{
    for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_PASSPORT,
                         WINHTTP_AUTH_SCHEME_DIGEST}) {
        if (supported & scheme) {
            return scheme;
        }
    }
    return 0;
}

const wchar_t* OrNull(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

namespace WinConnection {

void WinHttpHandleTraits::Close(void* handle)
{
    ::WinHttpCloseHandle(handle);
}

CWinHttpConnection::CWinHttpConnection(const std::wstring& agent, const std::wstring& server,
                                       const std::wstring& proxyServer, std::int32_t proxyPort, std::uint16_t port,
                                       bool skipIeProxy)
{
    ProxySettings proxy;
    if (!proxyServer.empty() && proxyPort != 0) {
        UseNamedProxy(proxy, (proxyServer + L":" + std::to_wstring(proxyPort)).c_str(), L"<local>");
    } else if (!skipIeProxy) {
        proxy = ReadUserProxy();
    }
    m_session.Reset(::WinHttpOpen(agent.c_str(), proxy.accessType, OrNull(proxy.name), OrNull(proxy.bypass), 0));
    if (!m_session) {
        ThrowWinHttp(NEC_Connect, "Can't open http connection to the server.", ::GetLastError());
    }
    m_connection.Reset(::WinHttpConnect(m_session.Get(), server.c_str(), port, 0));
    if (!m_connection) {
        ThrowWinHttp(NEC_Connect, "Can't connect to the server.", ::GetLastError());
    }
}

bool CWinHttpConnection::GetStatusCode(std::uint32_t& status)
{
    if (!m_request) {
        return false;
    }
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!::WinHttpQueryHeaders(m_request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX)) {
        return false;
    }
    status = value;
    return true;
}

void CWinHttpConnection::OpenRequest(const wchar_t* verb, const std::wstring& objectName)
{
    m_request.Reset(::WinHttpOpenRequest(m_connection.Get(), verb, objectName.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         m_scheme == US_Https ? WINHTTP_FLAG_SECURE : 0));
    if (!m_request) {
        ThrowWinHttp(NEC_Request, "Can't create request to the server.", ::GetLastError());
    }
}

void CWinHttpConnection::FinishRequest(const char* body, std::size_t bodySize)
{
    if (!::WinHttpReceiveResponse(m_request.Get(), nullptr)) {
        ThrowWinHttp(NEC_Request, "Can't receive request to the server.", ::GetLastError());
    }
    std::uint32_t status = 0;
    if (GetStatusCode(status)) {
        Detail::CheckStatus(status);
    }
    Authenticate(std::wstring(), body, bodySize);
}

void CWinHttpConnection::Authenticate(const std::wstring& headers, const char* body, std::size_t bodySize)
{
    std::uint32_t status = 0;
    if (!GetStatusCode(status) || (status != 401 && status != 407)) {
        return;
    }
    std::wstring user, password;
    if (m_credentials) {
        m_credentials->GetCredentials(user, password);
    }
    DWORD proxyScheme = WINHTTP_AUTH_SCHEME_BASIC;
    std::uint32_t previous = 0;
    DWORD error = 0;
    bool done = false;
    for (int sends = 0; !done && sends < MaxSends; ++sends) {
        if (proxyScheme != 0) {
            ::WinHttpSetCredentials(m_request.Get(), WINHTTP_AUTH_TARGET_PROXY, proxyScheme, user.c_str(),
                                    password.c_str(), nullptr);
        }
        if (!::WinHttpSendRequest(m_request.Get(), OrNull(headers), static_cast<DWORD>(headers.size()),
                                  const_cast<char*>(body), static_cast<DWORD>(bodySize),
                                  static_cast<DWORD>(bodySize), 0) ||
            !::WinHttpReceiveResponse(m_request.Get(), nullptr)) {
            error = ::GetLastError();
            if (error == ERROR_WINHTTP_RESEND_REQUEST) {
                continue;
            }
            break;
        }
        if (!GetStatusCode(status)) {
            break;
        }
        DWORD supported = 0, first = 0, target = 0;
        if (status == 401) {
            if (!::WinHttpQueryAuthSchemes(m_request.Get(), &supported, &first, &target)) {
                break;
            }
            const DWORD scheme = ChooseAuthScheme(supported);
            if (scheme == 0 ||
                !::WinHttpSetCredentials(m_request.Get(), target, scheme, user.c_str(), password.c_str(), nullptr)) {
                break;
            }
            done = previous == 401;
        } else if (status == 407) {
            if (!::WinHttpQueryAuthSchemes(m_request.Get(), &supported, &first, &target)) {
                break;
            }
            proxyScheme = ChooseAuthScheme(supported);
            done = previous == 407;
        } else {
            done = true;
        }
        previous = status;
    }
    if (status != 200) {
        ThrowWinHttp(NEC_Authentication, "Authentication proxy fails.", error);
    }
}

std::vector<char> CWinHttpConnection::ReceiveResponse()
{
    std::vector<char> body;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(m_request.Get(), &available)) {
            ThrowWinHttp(NEC_ReadBody,
                         "Error by receiving data from server ( synchronously ).          Available data size is unknown.",
                         ::GetLastError());
        }
        const std::size_t offset = body.size();
        body.resize(offset + available + 1);
        DWORD read = 0;
        if (!::WinHttpReadData(m_request.Get(), body.data() + offset, available + 1, &read)) {
            ThrowWinHttp(NEC_ReadBody, "Error by receiving data from server ( synchronously ).", ::GetLastError());
        }
        body.resize(offset + read);
        if (read == 0) {
            return body;
        }
    }
}

void CWinHttpConnection::ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize)
{
    wchar_t text[32] = {};
    DWORD size = sizeof(text);
    std::uint64_t contentLength = 0;
    if (!::WinHttpQueryHeaders(m_request.Get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text,
                               &size, WINHTTP_NO_HEADER_INDEX) ||
        !Detail::ParseDecimal(std::wstring(text, size / sizeof(wchar_t)), contentLength)) {
        ThrowWinHttp(NEC_ReadBody,
                     "Error by receiving data from server ( asynchronously ). Available data size is unknown. Can't "
                     "get content length header.",
                     ::GetLastError());
    }
    if (chunkSize == 0) {
        throw CNetworkException(Exception::NEC_Parameter, "Chunk size is zero.", 0);
    }
    std::vector<char> buffer(chunkSize);
    std::uint64_t total = 0;
    for (;;) {
        // The query waits for the first byte; the read then takes no more
        // than has arrived, so that it never waits for the rest of a chunk.
        DWORD available = 0;
        DWORD read = 0;
        if (!::WinHttpQueryDataAvailable(m_request.Get(), &available) ||
            !::WinHttpReadData(m_request.Get(), buffer.data(),
                               static_cast<DWORD>(std::min<std::size_t>(available, chunkSize)), &read)) {
            ThrowWinHttp(NEC_ReadBody, ChunkReadFailed, ::GetLastError());
        }
        if (read == 0) {
            // A body that ends before its announced length was cut off.
            if (total < contentLength) {
                ThrowWinHttp(NEC_ReadBody, ChunkReadFailed, ERROR_WINHTTP_CONNECTION_ERROR);
            }
            return;
        }
        total += read;
        if (!callback.OnReadData(buffer.data(), chunkSize, read, total, contentLength)) {
            return;
        }
    }
}

} // namespace WinConnection

namespace SimpleGetClient {

void CSimpleGetHttpHttpClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                           const std::wstring&)
{
    std::wstring objectName = objectPath;
    if (parameters) {
        objectName += L'?';
        objectName += Detail::QueryText(*parameters);
    }
    OpenRequest(L"GET", objectName);
    if (!::WinHttpSendRequest(m_request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        ThrowWinHttp(NEC_Request, "Can't send request to the server.", ::GetLastError());
    }
    FinishRequest(nullptr, 0);
}

} // namespace SimpleGetClient

namespace SimplePostClient {

void CSimplePostHttpClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                        const std::wstring& headers)
{
    std::size_t bodySize = 0;
    const char* body = parameters ? parameters->GetBuffer(bodySize) : nullptr;
    OpenRequest(L"POST", objectPath);
    for (int sends = 1;; ++sends) {
        if (::WinHttpSendRequest(m_request.Get(), OrNull(headers), static_cast<DWORD>(headers.size()),
                                 const_cast<char*>(body), static_cast<DWORD>(bodySize), static_cast<DWORD>(bodySize),
                                 0)) {
            break;
        }
        const DWORD error = ::GetLastError();
        // Only an explicit resend request is retried; a certificate failure
        // fails the request (checks are never switched off).
        if (error != ERROR_WINHTTP_RESEND_REQUEST || sends == MaxSends) {
            ThrowWinHttp(NEC_Request, "Can't send request to the server.", error);
        }
    }
    FinishRequest(body, bodySize);
}

} // namespace SimplePostClient

} // namespace Cxx::Network::Http::HttpClient
