#include "cxx/network/RequestResponse.h"

#include "cxx/core/TextUtils.h"
#include "cxx/network/Url.h"
#include "cxx/network/http/HttpClient.h"

#include <windows.h>

namespace Cxx::Network::RequestResponse {

using namespace Http::HttpClient;

namespace {

// The URL is expected to be ASCII: one byte of each UTF-16 unit.
std::string LowBytes(const std::wstring& text)
{
    std::string narrow(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        narrow[i] = static_cast<char>(text[i] & 0xFF);
    }
    return narrow;
}

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

} // namespace

int CHttpURIRequestResponse::Send(const std::string& host, const std::string& path, const std::string& request,
                                  std::string& response, std::int32_t scheme, std::int32_t port)
{
    const std::wstring headers = m_formMode ? L"" : L"Content-Type: application/json; charset=utf-8";
    const std::wstring wideHost = AnsiToWide(host);
    const std::wstring widePath = AnsiToWide(path);
    if (wideHost.empty()) {
        return RR_NoHost;
    }
    std::unique_ptr<CSimplePostParametersSet> parameters;
    if (!m_formMode) {
        parameters = std::make_unique<CSimplePostParametersSet>();
        parameters->AddParameter(std::make_shared<CSimpleJSONParameter>("json", request, false));
    } else if (std::wstring text; !request.empty() && Core::Utils::Utf8ToWide(request, text)) {
        parameters = std::make_unique<CSimplePostParametersSet>();
        parameters->AddParameter(std::make_shared<CSimpleTextParameter>(text));
    }
    CSimplePostHttpClient client(L"", wideHost, L"", 0, static_cast<std::uint16_t>(port), false, true, scheme);
    client.SendRequest(widePath, parameters.get(), headers);
    const std::vector<char> body = client.ReceiveResponse();
    if (body.empty()) {
        return RR_EmptyAnswer;
    }
    response.assign(body.data(), body.size());
    return RR_Ok;
}

CHttpRequestResponse::CHttpRequestResponse(const std::wstring& url, bool formMode)
    : m_transport(std::make_unique<CHttpURIRequestResponse>(formMode))
{
    CUrl cracked;
    if (cracked.CrackUrl(url)) {
        m_host = cracked.GetHostName();
        m_path = cracked.GetPathAndQuery();
        m_scheme = cracked.GetScheme();
        m_port = cracked.GetPortNumber();
    }
}

int CHttpRequestResponse::Send(const std::string& request, std::string& response)
{
    if (m_host.empty() || !m_transport) {
        return RR_NoHost;
    }
    return m_transport->Send(LowBytes(m_host), LowBytes(m_path), request, response, m_scheme, m_port);
}

} // namespace Cxx::Network::RequestResponse
