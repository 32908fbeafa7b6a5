#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Cxx::Network::RequestResponse {

// Results of Send.
enum ERequestResult : int {
    RR_Ok = 0,
    RR_NoHost = 1,
    RR_EmptyAnswer = 2,
};

// Sends one request text and returns the answer text. Network failures throw
// std::shared_ptr<Exception::CNetworkException>, parameter failures
// Exception::CNetworkException by value.
class IRequestResponse {
public:
    virtual ~IRequestResponse() = default;
    virtual int Send(const std::string& request, std::string& response) = 0;
};

class IURIRequestResponse {
public:
    virtual ~IURIRequestResponse() = default;
    // path is the request target (path and query). scheme is an EUrlScheme.
    virtual int Send(const std::string& host, const std::string& path, const std::string& request,
                     std::string& response, std::int32_t scheme, std::int32_t port) = 0;
};

// POSTs over WinInet: JSON with its content type, or (formMode) the request
// text as it is, without a content type and without a body when it is empty.
class CHttpURIRequestResponse : public IURIRequestResponse {
public:
    explicit CHttpURIRequestResponse(bool formMode) : m_formMode(formMode) {}
    int Send(const std::string& host, const std::string& path, const std::string& request,
             std::string& response, std::int32_t scheme, std::int32_t port) override;

private:
    bool m_formMode;
};

// Sends to one URL, cracked once: its scheme, host, port, path and query.
class CHttpRequestResponse : public IRequestResponse {
public:
    CHttpRequestResponse(const std::wstring& url, bool formMode);
    int Send(const std::string& request, std::string& response) override;

private:
    std::unique_ptr<IURIRequestResponse> m_transport;
    std::wstring m_host;
    std::wstring m_path;
    std::int32_t m_scheme = -1;
    std::int32_t m_port = 0;
};

} // namespace Cxx::Network::RequestResponse
