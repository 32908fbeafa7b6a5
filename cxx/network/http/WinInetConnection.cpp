#include "cxx/network/http/WinInetConnection.h"

#include "cxx/network/http/HttpDetail.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace Cxx::Network::Http::HttpClient {

using Exception::CWinInetNetworkException;
using Exception::NEC_Connect;
using Exception::NEC_ReadBody;
using Exception::NEC_Request;

namespace {

constexpr const char* ChunkReadFailed = "Error by receiving data from server ( asynchronously ).";

[[noreturn]] void ThrowInet(std::int32_t code, const char* message, DWORD error)
{
    Detail::Throw<CWinInetNetworkException>(code, message, error);
}

bool QueryText(HINTERNET request, DWORD info, std::wstring& text)
{
    wchar_t buffer[32] = {};
    DWORD size = sizeof(buffer);
    if (!::HttpQueryInfoW(request, info, buffer, &size, nullptr)) {
        return false;
    }
    text.assign(buffer, size / sizeof(wchar_t));
    return true;
}

bool QueryContentLength(HINTERNET request, std::uint64_t& length)
{
    std::wstring text;
    return QueryText(request, HTTP_QUERY_CONTENT_LENGTH, text) && Detail::ParseDecimal(text, length);
}

// The first byte and the whole length of "bytes first-last/length".
bool QueryContentRange(HINTERNET request, std::uint64_t& first, std::uint64_t& length)
{
    wchar_t buffer[128] = {};
    DWORD size = sizeof(buffer);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_RANGE, buffer, &size, nullptr)) {
        return false;
    }
    const std::wstring text(buffer, size / sizeof(wchar_t));
    const std::wstring prefix = L"bytes ";
    const auto dash = text.find(L'-');
    const auto slash = text.find(L'/');
    return text.compare(0, prefix.size(), prefix) == 0 && dash != std::wstring::npos && slash != std::wstring::npos &&
           dash < slash && Detail::ParseDecimal(text.substr(prefix.size(), dash - prefix.size()), first) &&
           Detail::ParseDecimal(text.substr(slash + 1), length);
}

std::mutex& CloseMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Counts the bytes of a window of the limits' stall time; a window that ends
// with fewer than the stall bytes is a stall.
class CStallWatch {
public:
    using TClock = std::function<std::chrono::steady_clock::time_point()>;

    CStallWatch(const CReadLimits& limits, TClock now)
        : m_limits(limits), m_now(std::move(now)), m_start(m_now())
    {
    }

    void Restart()
    {
        m_start = m_now();
        m_bytes = 0;
    }

    // True when the window has passed with too few bytes, these included.
    bool Stalled(std::uint64_t read)
    {
        const auto now = m_now();
        m_bytes += read;
        if (m_bytes >= m_limits.stallBytes) {
            m_start = now;
            m_bytes = 0;
            return false;
        }
        return now - m_start >= m_limits.stallTime;
    }

private:
    const CReadLimits& m_limits;
    TClock m_now;
    std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_bytes = 0;
};

} // namespace

namespace WinConnection {

void InternetHandleTraits::Close(void* handle)
{
    ::InternetCloseHandle(handle);
}

CWinInetConnection::CWinInetConnection(const std::wstring& agent, const std::wstring& server, std::uint16_t port,
                                       std::int32_t scheme)
    : m_port(port), m_scheme(scheme), m_sleeper(DefaultSleeper())
{
    if (scheme == US_Https) {
        WidenSecureProtocols();
    }
    m_session.Reset(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!m_session) {
        ThrowInet(NEC_Connect, "Can't open http connection to the server.", ::GetLastError());
    }
    m_connection.Reset(::InternetConnectW(m_session.Get(), server.c_str(), m_port, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_connection) {
        ThrowInet(NEC_Connect, "Can't connect to the server.", ::GetLastError());
    }
}

CWinInetConnection::~CWinInetConnection()
{
    // WinInet's handle closing is serialised across the process.
    std::lock_guard lock(CloseMutex());
    m_request.Reset();
    m_connection.Reset();
    m_session.Reset();
}

bool CWinInetConnection::GetStatusCode(std::uint32_t& status)
{
    if (!m_request) {
        return false;
    }
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!::HttpQueryInfoW(m_request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) {
        return false;
    }
    status = value;
    return true;
}

std::chrono::steady_clock::time_point CWinInetConnection::Now() const
{
    return m_limits.clock ? m_limits.clock() : std::chrono::steady_clock::now();
}

void CWinInetConnection::WidenSecureProtocols()
{
    std::uint32_t major = 0, minor = 0;
    if (CTlsValidator::SystemVersion(major, minor) && major >= 6) {
        // A setting that cannot be widened leaves WinInet the protocols it has;
        // the handshake then tells whether they suffice.
        m_tlsValidator.EnsureSecureProtocols();
    }
}

bool CWinInetConnection::OpenRequest(const wchar_t* verb, const std::wstring& objectName, unsigned long flags)
{
    m_verb = verb;
    m_objectName = objectName;
    m_openFlags = flags;
    {
        std::lock_guard lock(CloseMutex());
        m_request.Reset();
    }
    m_request.Reset(
        ::HttpOpenRequestW(m_connection.Get(), verb, objectName.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!m_request) {
        return false;
    }
    SetRequestTimeouts();
    return true;
}

void CWinInetConnection::SetRequestTimeouts()
{
    // Best effort: a stack that refuses an option keeps its own time-out.
    DWORD timeout = static_cast<DWORD>(m_limits.timeout.count());
    const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT,      INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_SEND_TIMEOUT,         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_DATA_SEND_TIMEOUT,    INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_SEND_TIMEOUT,         INTERNET_OPTION_FROM_CACHE_TIMEOUT};
    for (DWORD option : options) {
        ::InternetSetOptionW(m_request.Get(), option, &timeout, sizeof(timeout));
    }
}

void CWinInetConnection::CheckStatus()
{
    std::uint32_t status = 0;
    if (GetStatusCode(status)) {
        Detail::CheckStatus(status);
    }
}

std::vector<char> CWinInetConnection::ReceiveResponse()
{
    constexpr const char* ReadFailed = "Error by receiving data from server ( synchronously ).";
    std::vector<char> body;
    const auto began = Now();
    for (;;) {
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(m_request.Get(), &available, 0, 0)) {
            ThrowInet(NEC_ReadBody,
                      "Error by receiving data from server ( synchronously ).             Available data size is unknown.",
                      ::GetLastError());
        }
        const std::size_t offset = body.size();
        body.resize(offset + available + 1);
        DWORD read = 0;
        if (!::InternetReadFile(m_request.Get(), body.data() + offset, available + 1, &read)) {
            ThrowInet(NEC_ReadBody, ReadFailed, ::GetLastError());
        }
        body.resize(offset + read);
        if (read == 0) {
            return body;
        }
        // Each read waits only for its own bytes: a trickle would go on for ever.
        if (body.size() > m_limits.answerSize) {
            ThrowInet(NEC_ReadBody, ReadFailed, ERROR_INSUFFICIENT_BUFFER);
        }
        if (Now() - began > m_limits.answerTime) {
            ThrowInet(NEC_ReadBody, ReadFailed, ERROR_INTERNET_TIMEOUT);
        }
    }
}

void CWinInetConnection::ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize)
{
    std::uint64_t contentLength = 0;
    if (!QueryContentLength(m_request.Get(), contentLength)) {
        ThrowInet(NEC_ReadBody,
                  "Error by receiving data from server ( asynchronously ). Available data size is unknown. Can't get "
                  "content length header.",
                  ::GetLastError());
    }
    if (chunkSize == 0) {
        throw Exception::CNetworkException(Exception::NEC_Parameter, "Chunk size is zero.", 0);
    }
    std::vector<char> buffer;
    Detail::CReadSize readSize(chunkSize);
    std::uint64_t total = 0;
    // Only a break after bytes beyond the furthest point ever reached gives the
    // budget back: a server that ignores the Range and ends short at the same
    // point every time would otherwise be asked again for ever. A stall never
    // does, or a server that only trickles would be.
    std::uint64_t furthest = 0;
    int budget = ResendBudget;
    bool resent = false;
    CStallWatch stall(m_limits, [this] { return Now(); });
    for (;;) {
        // The query waits for the first byte (or the end, or the time-out);
        // the read then waits for the rest of what it asks for.
        const auto began = std::chrono::steady_clock::now();
        DWORD available = 0;
        BOOL ok = ::InternetQueryDataAvailable(m_request.Get(), &available, 0, 0);
        DWORD read = 0;
        if (ok && available > 0) {
            buffer.resize(readSize.Get());
            const std::size_t asked = readSize.Ask(available);
            ok = ::InternetReadFile(m_request.Get(), buffer.data(), static_cast<DWORD>(asked), &read);
        }
        // An answer that ends before its announced length was cut short by its
        // sender, not by the network.
        DWORD error = ok ? ERROR_HTTP_INVALID_SERVER_RESPONSE : ::GetLastError();
        bool stalled = false;
        if (ok && read > 0) {
            readSize.Update(read, std::chrono::steady_clock::now() - began);
            resent = false;
            // The receiver sees chunks of at most chunkSize, however much one read brought.
            for (std::size_t offset = 0; offset < read; offset += chunkSize) {
                const std::size_t count = std::min<std::size_t>(chunkSize, read - offset);
                total += count;
                if (!callback.OnReadData(buffer.data() + offset, chunkSize, count, total, contentLength)) {
                    return;
                }
            }
            if (!stall.Stalled(read)) {
                continue;
            }
            stalled = true;
            error = ERROR_INTERNET_TIMEOUT;
        } else if (ok && total >= contentLength) {
            return;
        } else if (ok && resent) {
            // The answer to the re-send brought nothing: asking again will not either.
            ThrowInet(NEC_ReadBody, ChunkReadFailed, error);
        }
        if (total > furthest) {
            furthest = total;
            if (!stalled) {
                budget = ResendBudget;
            }
        }
        Resume(callback, total, contentLength, budget, error);
        resent = true;
        stall.Restart();
    }
}

void CWinInetConnection::Resume(IReadDataCallBack& callback, std::uint64_t& total, std::uint64_t& contentLength,
                                int& budget, unsigned long error)
{
    for (;;) {
        if (budget <= 0) {
            ThrowInet(NEC_ReadBody, ChunkReadFailed, error);
        }
        --budget;
        if (m_sleeper && !m_sleeper(ResendPause)) {
            ThrowInet(NEC_ReadBody, ChunkReadFailed, ERROR_INTERNET_OPERATION_CANCELLED);
        }
        // On a fresh request: re-sent, the old one would first drain what is
        // left of its body, which takes for ever when it trickles.
        if (!OpenRequest(m_verb, m_objectName, m_openFlags)) {
            error = ::GetLastError();
            continue;
        }
        const std::wstring range = L"Range: bytes=" + std::to_wstring(total) + L"-\r\n";
        if (!::HttpSendRequestW(m_request.Get(), range.c_str(), static_cast<DWORD>(range.size()), nullptr, 0)) {
            error = ::GetLastError();
            continue;
        }
        std::uint32_t status = 0;
        std::uint64_t first = 0, length = 0;
        if (GetStatusCode(status) && status == 416) {
            // The server has no byte beyond those read.
            ThrowInet(NEC_ReadBody, ChunkReadFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        if (status == 206 && QueryContentRange(m_request.Get(), first, length)) {
            if (first == total && length == contentLength) {
                return;
            }
            // Another part or another body cannot be joined to the bytes delivered so far.
            ThrowInet(NEC_ReadBody, ChunkReadFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        if (status == 200 && QueryContentLength(m_request.Get(), length)) {
            // A whole body, perhaps of a resource that changed meanwhile: it
            // replaces what was delivered, or the read fails.
            if (!callback.OnRestart(length)) {
                ThrowInet(NEC_ReadBody, ChunkReadFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
            }
            total = 0;
            contentLength = length;
            return;
        }
        // No usable answer (a connection closed before its headers reads as a
        // bare 200): a failed re-send.
        error = ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

} // namespace WinConnection

namespace SimpleGetClient {

void CSimpleGetWinInetClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                          const std::wstring&)
{
    std::wstring objectName = objectPath;
    if (parameters) {
        objectName += L'?';
        objectName += Detail::QueryText(*parameters);
    }
    // Not into the WinInet cache: a download would be written twice, and a
    // copy of every installer left in the user's cache.
    const DWORD reload = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    const DWORD flags = m_scheme == US_Https ? reload | INTERNET_FLAG_SECURE : reload;
    if (!OpenRequest(L"GET", objectName, flags)) {
        ThrowInet(NEC_Request, "Can't create request to the server.", ::GetLastError());
    }
    if (!::HttpSendRequestW(m_request.Get(), nullptr, 0, nullptr, 0)) {
        ThrowInet(NEC_Request, "Can't send request to the server.", ::GetLastError());
    }
    CheckStatus();
}

} // namespace SimpleGetClient

namespace SimplePostClient {

namespace {

// Redirects one POST follows, each as a POST with its body, before it fails.
constexpr int MaxRedirects = 5;

// A 303 tells that the request was taken and points at a result to fetch:
// posting again would deliver it twice, so the 303 is the answer.
bool IsRedirect(std::uint32_t status)
{
    return status == 301 || status == 302 || status == 307 || status == 308;
}

// Whole text of a header or of the raw headers, whatever its length.
bool QueryLongText(HINTERNET request, DWORD info, std::wstring& text)
{
    DWORD size = 0;
    if (::HttpQueryInfoW(request, info, nullptr, &size, nullptr) || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    text.assign(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, info, text.data(), &size, nullptr)) {
        return false;
    }
    text.resize(size / sizeof(wchar_t));
    return true;
}

// A connection closed before the status line reads as an answer that nobody
// gave: status 0 without headers under Wine, a bare HTTP/0.9 200 on Windows.
bool HasStatusLine(HINTERNET request)
{
    std::wstring raw;
    return QueryLongText(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw) && raw.rfind(L"HTTP/", 0) == 0 &&
           raw.rfind(L"HTTP/0.9", 0) != 0;
}

// The absolute URL that the answer's Location names, relative to the request's own.
bool RedirectTarget(HINTERNET request, CUrl& target)
{
    std::wstring location;
    wchar_t base[INTERNET_MAX_URL_LENGTH] = {};
    DWORD baseSize = sizeof(base);
    wchar_t combined[INTERNET_MAX_URL_LENGTH] = {};
    DWORD combinedLength = INTERNET_MAX_URL_LENGTH;
    return QueryLongText(request, HTTP_QUERY_LOCATION, location) &&
           ::InternetQueryOptionW(request, INTERNET_OPTION_URL, base, &baseSize) &&
           ::InternetCombineUrlW(base, location.c_str(), combined, &combinedLength, ICU_NO_ENCODE) &&
           target.CrackUrl(combined);
}

[[noreturn]] void ThrowSendFailed(DWORD error)
{
    Detail::Throw<Exception::CNetworkException>(NEC_Request, "Can't send request to the server.", error);
}

} // namespace

void CSimplePostWinInetClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                           const std::wstring& headers)
{
    std::size_t bodySize = 0;
    const char* body = parameters ? parameters->GetBuffer(bodySize) : nullptr;
    std::wstring target = objectPath;
    for (int redirects = 0;; ++redirects) {
        // A certificate issued for another host is refused, as for any request.
        // WinInet's own redirects have no limit and lose the body.
        const DWORD plain = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
        const DWORD flags = m_scheme == US_Https ? plain | INTERNET_FLAG_SECURE : plain;
        if (!OpenRequest(L"POST", target, flags)) {
            Detail::Throw<Exception::CNetworkException>(NEC_Request, "Can't create request to the server.",
                                                        ::GetLastError());
        }
        if (!::HttpSendRequestW(m_request.Get(), headers.empty() ? nullptr : headers.c_str(),
                                static_cast<DWORD>(headers.size()), const_cast<char*>(body),
                                static_cast<DWORD>(bodySize))) {
            ThrowSendFailed(::GetLastError());
        }
        if (!HasStatusLine(m_request.Get())) {
            ThrowSendFailed(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        std::uint32_t status = 0;
        if (!GetStatusCode(status) || !IsRedirect(status)) {
            break;
        }
        CUrl next;
        // Never from a secure server to a plain one.
        if (redirects == MaxRedirects || !RedirectTarget(m_request.Get(), next) ||
            (m_scheme == US_Https && next.GetScheme() != US_Https)) {
            ThrowSendFailed(ERROR_HTTP_REDIRECT_FAILED);
        }
        if (next.GetScheme() == US_Https && m_scheme != US_Https) {
            WidenSecureProtocols();
        }
        {
            std::lock_guard lock(CloseMutex());
            m_request.Reset();
            m_connection.Reset();
        }
        m_connection.Reset(::InternetConnectW(m_session.Get(), next.GetHostName().c_str(), next.GetPortNumber(),
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!m_connection) {
            ThrowInet(NEC_Connect, "Can't connect to the server.", ::GetLastError());
        }
        m_scheme = next.GetScheme();
        m_port = next.GetPortNumber();
        target = next.GetPathAndQuery();
    }
    CheckStatus();
}

} // namespace SimplePostClient

} // namespace Cxx::Network::Http::HttpClient
