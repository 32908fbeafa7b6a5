#include "cxx/network/http/WinInetConnection.h"

#include "cxx/core/thread/Interruption.h"
#include "cxx/network/http/HttpDetail.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace Cxx::Network::Http::HttpClient {

using Exception::CWinInetNetworkException;
using Exception::NEC_Connect;
using Exception::NEC_ReadBody;
using Exception::NEC_Request;

namespace {

constexpr const char* ChunkReadFailed = "Error by receiving data from server ( asynchronously ).";
constexpr const char* ReadFailed = "Error by receiving data from server ( synchronously ).";
// How long a wait goes without looking at the clock and for a stop.
constexpr std::chrono::milliseconds AwaitSlice{50};
// The most one read of a body takes, in chunks of the caller's size.
constexpr std::size_t ReadChunks = 32;
// The most one read of a whole answer takes.
constexpr std::size_t AnswerRead = 64 * 1024;

[[noreturn]] void ThrowInet(std::int32_t code, const char* message, DWORD error)
{
    Detail::Throw<CWinInetNetworkException>(code, message, error);
}

[[noreturn]] void ThrowPlain(std::int32_t code, const char* message, DWORD error)
{
    Detail::Throw<Exception::CNetworkException>(code, message, error);
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

// A 303 tells that the request was taken and points at a result to fetch:
// asking again would deliver a POST twice, so the 303 is the answer.
bool IsRedirect(std::uint32_t status)
{
    return status == 301 || status == 302 || status == 307 || status == 308;
}

// The absolute URL that the answer's Location names, relative to the
// request's own. A Location that is empty, too long to combine (WinInet may
// then answer the server's root) or holding a control character (it would go
// raw into the next request line) names nothing.
bool RedirectTarget(HINTERNET request, CUrl& target)
{
    std::wstring location;
    if (!QueryLongText(request, HTTP_QUERY_LOCATION, location) || location.empty() ||
        location.size() >= INTERNET_MAX_URL_LENGTH ||
        std::any_of(location.begin(), location.end(), [](wchar_t c) { return c < L' ' || c == 0x7F; })) {
        return false;
    }
    wchar_t base[INTERNET_MAX_URL_LENGTH] = {};
    DWORD baseSize = sizeof(base);
    wchar_t combined[INTERNET_MAX_URL_LENGTH] = {};
    DWORD combinedLength = INTERNET_MAX_URL_LENGTH;
    return ::InternetQueryOptionW(request, INTERNET_OPTION_URL, base, &baseSize) &&
           ::InternetCombineUrlW(base, location.c_str(), combined, &combinedLength, ICU_NO_ENCODE) &&
           target.CrackUrl(combined);
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

    // When the window ends.
    std::chrono::steady_clock::time_point End() const { return m_start + m_limits.stallTime; }

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
        return now >= End();
    }

private:
    const CReadLimits& m_limits;
    TClock m_now;
    std::chrono::steady_clock::time_point m_start;
    std::uint64_t m_bytes = 0;
};

} // namespace

namespace WinConnection {

// One call at a time runs on a request. When the caller gives up on one (a
// deadline, a stop), it closes the request at once and WinInet may still
// complete the call later: whatever such a call writes to (the buffers, the
// body it sends) lives here, kept by the context table until WinInet's last
// notice for the handle.
struct CAsyncRequest {
    std::mutex mutex;
    std::condition_variable completed;
    // Cleared just before each call and set by its completion, which comes
    // only for a call that answered ERROR_IO_PENDING: only such a call is waited on.
    bool done = true;
    DWORD error = ERROR_SUCCESS;
    std::wstring headers;
    std::string body;
    INTERNET_BUFFERSW buffers{};
    std::vector<char> buffer;
};

namespace {

using TAsyncState = std::shared_ptr<CAsyncRequest>;

// Before a call: its completion may arrive before the call has returned.
void ExpectCompletion(CAsyncRequest& state)
{
    std::lock_guard lock(state.mutex);
    state.done = false;
}

// The states of the open requests, by the context value WinInet hands the
// callback. A number never used twice, not a pointer: a notice that comes
// for a state already gone then finds nothing.
class CContexts {
public:
    DWORD_PTR Add(TAsyncState state)
    {
        std::lock_guard lock(m_mutex);
        const DWORD_PTR context = m_next++;
        m_states.emplace(context, std::move(state));
        return context;
    }
    TAsyncState Find(DWORD_PTR context)
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_states.find(context);
        return found == m_states.end() ? nullptr : found->second;
    }
    void Remove(DWORD_PTR context)
    {
        std::lock_guard lock(m_mutex);
        m_states.erase(context);
    }

private:
    std::mutex m_mutex;
    std::map<DWORD_PTR, TAsyncState> m_states;
    DWORD_PTR m_next = 1;
};

// Never destroyed: WinInet's threads may still call back while the process exits.
CContexts& Contexts()
{
    static CContexts* contexts = new CContexts;
    return *contexts;
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD length)
{
    if (context == 0) {
        return;
    }
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        Contexts().Remove(context);
        return;
    }
    if (status != INTERNET_STATUS_REQUEST_COMPLETE || !information || length < sizeof(INTERNET_ASYNC_RESULT)) {
        return;
    }
    const TAsyncState state = Contexts().Find(context);
    if (!state) {
        return;
    }
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(information);
    std::lock_guard lock(state->mutex);
    // A completed read may carry a count where the error goes: only a failure has an error.
    state->error = result->dwResult ? ERROR_SUCCESS : (result->dwError ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR);
    state->done = true;
    state->completed.notify_all();
}

} // namespace

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
    m_session.Reset(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!m_session) {
        ThrowInet(NEC_Connect, "Can't open http connection to the server.", ::GetLastError());
    }
    if (::InternetSetStatusCallbackW(m_session.Get(), OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
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

CWinInetConnection::TTime CWinInetConnection::Now() const
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

void CWinInetConnection::CloseRequest()
{
    std::lock_guard lock(CloseMutex());
    m_request.Reset();
}

bool CWinInetConnection::OpenRequest(const wchar_t* verb, const std::wstring& objectName, unsigned long flags)
{
    m_verb = verb;
    m_objectName = objectName;
    m_openFlags = flags;
    CloseRequest();
    auto state = std::make_shared<CAsyncRequest>();
    const DWORD_PTR context = Contexts().Add(state);
    HINTERNET request =
        ::HttpOpenRequestW(m_connection.Get(), verb, objectName.c_str(), nullptr, nullptr, nullptr, flags, context);
    if (!request) {
        const DWORD error = ::GetLastError();
        Contexts().Remove(context);
        ::SetLastError(error);
        return false;
    }
    m_request.Reset(request);
    m_async = std::move(state);
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

unsigned long CWinInetConnection::Await(TTime deadline)
{
    CAsyncRequest& state = *m_async;
    const std::stop_token stop = Core::Utils::ThisThreadStopToken();
    std::unique_lock lock(state.mutex);
    while (!state.done) {
        DWORD error = ERROR_SUCCESS;
        if (stop.stop_requested()) {
            error = ERROR_INTERNET_OPERATION_CANCELLED;
        } else if (Now() >= deadline) {
            error = ERROR_INTERNET_TIMEOUT;
        }
        if (error != ERROR_SUCCESS) {
            lock.unlock();
            CloseRequest();
            return error;
        }
        state.completed.wait_for(lock, AwaitSlice);
    }
    return state.error;
}

unsigned long CWinInetConnection::Send(const std::wstring& headers, const char* body, std::size_t bodySize,
                                       TTime deadline)
{
    const auto began = std::chrono::steady_clock::now();
    CAsyncRequest& state = *m_async;
    // A send given up on may still read them.
    state.headers = headers;
    state.body.assign(body ? body : "", body ? bodySize : 0);
    ExpectCompletion(state);
    DWORD error = ERROR_SUCCESS;
    if (!::HttpSendRequestW(m_request.Get(), state.headers.empty() ? nullptr : state.headers.c_str(),
                            static_cast<DWORD>(state.headers.size()), state.body.empty() ? nullptr : state.body.data(),
                            static_cast<DWORD>(state.body.size()))) {
        error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            error = Await(deadline);
        }
    }
    // Wine reports a send that met its own receive time-out as an aborted
    // connection; that time-out runs on the steady clock.
    if (error == ERROR_INTERNET_CONNECTION_ABORTED && std::chrono::steady_clock::now() - began >= m_limits.timeout) {
        error = ERROR_INTERNET_TIMEOUT;
    }
    return error;
}

unsigned long CWinInetConnection::ReadArrived(std::size_t size, TTime deadline, unsigned long& read)
{
    CAsyncRequest& state = *m_async;
    if (state.buffer.size() < size) {
        state.buffer.resize(size);
    }
    for (;;) {
        state.buffers = INTERNET_BUFFERSW{};
        state.buffers.dwStructSize = sizeof(state.buffers);
        state.buffers.lpvBuffer = state.buffer.data();
        state.buffers.dwBufferLength = static_cast<DWORD>(size);
        ExpectCompletion(state);
        // Takes what has arrived, never waiting for more.
        if (::InternetReadFileExW(m_request.Get(), &state.buffers, IRF_NO_WAIT, 0)) {
            read = state.buffers.dwBufferLength;
            return ERROR_SUCCESS;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            return error;
        }
        // Nothing had arrived: the completion tells that bytes have, and the
        // next read takes them.
        if (const DWORD waited = Await(deadline); waited != ERROR_SUCCESS) {
            return waited;
        }
    }
}

const char* CWinInetConnection::ReadBuffer() const
{
    return m_async->buffer.data();
}

std::vector<char> CWinInetConnection::ReceiveResponse()
{
    if (!m_request) {
        ThrowInet(NEC_ReadBody, ReadFailed, ERROR_INVALID_HANDLE);
    }
    std::vector<char> body;
    const TTime whole = Now() + m_limits.answerTime;
    for (;;) {
        DWORD read = 0;
        const std::size_t room = std::min(AnswerRead, m_limits.answerSize + 1 - body.size());
        const DWORD error = ReadArrived(room, std::min(whole, Now() + m_limits.timeout), read);
        if (error != ERROR_SUCCESS) {
            ThrowInet(NEC_ReadBody, ReadFailed, error);
        }
        if (read == 0) {
            return body;
        }
        body.insert(body.end(), ReadBuffer(), ReadBuffer() + read);
        if (body.size() > m_limits.answerSize) {
            ThrowInet(NEC_ReadBody, ReadFailed, ERROR_INSUFFICIENT_BUFFER);
        }
    }
}

void CWinInetConnection::ReceiveResponseByChunks(IReadDataCallBack& callback, std::size_t chunkSize)
{
    std::uint64_t contentLength = 0;
    if (!m_request || !QueryContentLength(m_request.Get(), contentLength)) {
        ThrowInet(NEC_ReadBody,
                  "Error by receiving data from server ( asynchronously ). Available data size is unknown. Can't get "
                  "content length header.",
                  ::GetLastError());
    }
    if (chunkSize == 0) {
        throw Exception::CNetworkException(Exception::NEC_Parameter, "Chunk size is zero.", 0);
    }
    std::uint64_t total = 0;
    // Only a break that brought the body a kilobyte beyond the furthest point
    // of the earlier ones gives the budget back: a server that ignores the
    // Range and ends short at the same point, or brings a byte more each
    // time, would otherwise be asked again for ever. A stall never does, or a
    // server that only trickles would be.
    std::uint64_t furthest = 0;
    int budget = ResendBudget;
    bool resent = false;
    CStallWatch stall(m_limits, [this] { return Now(); });
    TTime lastByte = Now();
    for (;;) {
        DWORD read = 0;
        DWORD error = ReadArrived(chunkSize * ReadChunks, std::min(lastByte + m_limits.timeout, stall.End()), read);
        bool stalled = false;
        if (error == ERROR_INTERNET_OPERATION_CANCELLED) {
            ThrowInet(NEC_ReadBody, ChunkReadFailed, error);
        }
        if (error == ERROR_SUCCESS && read > 0) {
            resent = false;
            lastByte = Now();
            // The receiver sees chunks of at most chunkSize, however much one read brought.
            for (std::size_t offset = 0; offset < read; offset += chunkSize) {
                const std::size_t count = std::min<std::size_t>(chunkSize, read - offset);
                total += count;
                if (!callback.OnReadData(ReadBuffer() + offset, chunkSize, count, total, contentLength)) {
                    return;
                }
            }
            if (!stall.Stalled(read)) {
                continue;
            }
            stalled = true;
            error = ERROR_INTERNET_TIMEOUT;
        } else if (error == ERROR_SUCCESS && total >= contentLength) {
            return;
        } else if (error == ERROR_SUCCESS && resent) {
            // The answer to the re-send brought nothing: asking again will not either.
            ThrowInet(NEC_ReadBody, ChunkReadFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
        } else if (error == ERROR_SUCCESS) {
            // An answer that ends before its announced length was cut short by
            // its sender, not by the network.
            error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
        } else if (error == ERROR_INTERNET_TIMEOUT && Now() >= stall.End()) {
            stalled = true;
        }
        if (!stalled && total >= furthest + RefillBytes) {
            budget = ResendBudget;
        }
        furthest = std::max(furthest, total);
        Resume(callback, total, contentLength, budget, error);
        resent = true;
        stall.Restart();
        lastByte = Now();
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
        error = Send(range, nullptr, 0, Now() + m_limits.headerTime);
        if (error == ERROR_INTERNET_OPERATION_CANCELLED) {
            ThrowInet(NEC_ReadBody, ChunkReadFailed, error);
        }
        if (error != ERROR_SUCCESS) {
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

void CWinInetConnection::SendFollowingRedirects(const wchar_t* verb, const std::wstring& target, unsigned long flags,
                                                const std::wstring& headers, const char* body, std::size_t bodySize,
                                                TThrow fail)
{
    constexpr const char* SendFailed = "Can't send request to the server.";
    // WinInet's own redirects have no limit and lose a POST's body.
    flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    std::wstring object = target;
    // The redirects' answers count against the same limit.
    const TTime headersDue = Now() + m_limits.headerTime;
    for (int redirects = 0;; ++redirects) {
        if (!OpenRequest(verb, object, m_scheme == US_Https ? flags | INTERNET_FLAG_SECURE : flags)) {
            fail(NEC_Request, "Can't create request to the server.", ::GetLastError());
        }
        if (const DWORD error = Send(headers, body, bodySize, headersDue); error != ERROR_SUCCESS) {
            fail(NEC_Request, SendFailed, error);
        }
        if (!HasStatusLine(m_request.Get())) {
            fail(NEC_Request, SendFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        std::uint32_t status = 0;
        if (!GetStatusCode(status) || !IsRedirect(status)) {
            break;
        }
        CUrl next;
        // Never from a secure server to a plain one.
        if (redirects == MaxRedirects || !RedirectTarget(m_request.Get(), next) ||
            (m_scheme == US_Https && next.GetScheme() != US_Https)) {
            fail(NEC_Request, SendFailed, ERROR_HTTP_REDIRECT_FAILED);
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
        object = next.GetPathAndQuery();
    }
    std::uint32_t status = 0;
    if (GetStatusCode(status)) {
        Detail::CheckStatus(status);
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
    SendFollowingRedirects(L"GET", objectName, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, std::wstring(),
                           nullptr, 0, ThrowInet);
}

} // namespace SimpleGetClient

namespace SimplePostClient {

void CSimplePostWinInetClient::SendRequest(const std::wstring& objectPath, const IParametersSet* parameters,
                                           const std::wstring& headers)
{
    std::size_t bodySize = 0;
    const char* body = parameters ? parameters->GetBuffer(bodySize) : nullptr;
    // A certificate issued for another host is refused, as for any request.
    SendFollowingRedirects(L"POST", objectPath, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES, headers, body,
                           bodySize, ThrowPlain);
}

} // namespace SimplePostClient

} // namespace Cxx::Network::Http::HttpClient
