#include "componentget/ComponentsStorage.h"

#include "cxx/core/TextUtils.h"
#include "cxx/network/NetworkException.h"

namespace ComponentGet {

using Cxx::Network::Downloader::CDownloader;
using Cxx::Network::Downloader::IDownloader;
using Cxx::Network::Exception::CNetworkException;
using Cxx::Network::RequestResponse::IRequestResponse;

CComponentsStorage::CComponentsStorage(ApplicationInfo application, OsInfo os,
                                       std::shared_ptr<Protocol::IProtocol> protocol,
                                       std::shared_ptr<IRequestResponse> transport)
    : m_application(std::move(application)), m_os(std::move(os)), m_protocol(std::move(protocol)),
      m_transport(std::move(transport))
{
}

int CComponentsStorage::GetComponents(const std::vector<ComponentRequest>& requests,
                                      std::map<std::wstring, ComponentInfo>& components)
{
    if (requests.empty()) {
        return CR_NoComponents;
    }
    ComponentsRequest request;
    request.protocolVersion = 1;
    request.application = m_application;
    request.os = m_os;
    request.components = requests;
    if (!m_protocol) {
        return CR_Missing;
    }
    std::wstring text;
    if (!m_protocol->BuildRequest(request, text) || text.empty()) {
        return CR_RequestNotBuilt;
    }
    if (!m_transport) {
        return CR_Missing;
    }
    std::string body;
    if (!Cxx::Core::Utils::WideToUtf8(text, body)) {
        return CR_RequestNotBuilt;
    }

    std::string answer;
    try {
        if (m_transport->Send(body, answer) != 0) {
            return CR_TransportFailed;
        }
    } catch (const std::shared_ptr<CNetworkException>&) {
        return CR_TransportFailed;
    } catch (const std::exception&) {
        // Parameter failures (thrown by value) and anything else of the transport.
        return CR_TransportFailed;
    }

    std::wstring answerText;
    if (!answer.empty() && !Cxx::Core::Utils::Utf8ToWide(answer, answerText)) {
        return CR_NoComponents;
    }
    if (answerText.empty()) {
        return CR_EmptyAnswer;
    }
    std::vector<ComponentInfo> records;
    if (!m_protocol->ParseResponse(answerText, records) || records.empty()) {
        return CR_NoComponents;
    }
    for (const ComponentInfo& record : records) {
        components[record.id] = record;
    }
    return CR_Ok;
}

std::unique_ptr<IComponentsStorage> CreateComponentsStorage(const ApplicationInfo& application,
                                                            std::shared_ptr<Protocol::IProtocol> protocol,
                                                            std::shared_ptr<IRequestResponse> transport,
                                                            const OsInfo& os)
{
    return std::make_unique<CComponentsStorage>(application, os, std::move(protocol), std::move(transport));
}

std::unique_ptr<IDownloader> CreateVerifyingDownloader(const ComponentInfo& component,
                                                       Cxx::Network::Http::HttpClient::SleepFunction pause)
{
    if (component.url.empty() || component.md5.empty()) {
        return nullptr;
    }
    auto downloader = std::make_unique<CDownloader>(component.url, component.md5);
    if (pause) {
        Cxx::Network::Downloader::CTransferOptions options;
        options.sleeper = std::move(pause);
        downloader->SetTransferOptions(std::move(options));
    }
    return downloader;
}

std::unique_ptr<IDownloader> CreateDownloader(const ComponentInfo& component)
{
    if (component.url.empty()) {
        return nullptr;
    }
    return std::make_unique<CDownloader>(component.url);
}

} // namespace ComponentGet
