#pragma once

#include "componentget/ComponentGet.h"
#include "componentget/Protocol.h"
#include "cxx/network/RequestResponse.h"
#include "cxx/network/downloader/Downloader.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ComponentGet {

// Results of GetComponents.
enum EComponentsResult : int {
    CR_Ok = 0,
    CR_TransportFailed = 1,
    CR_RequestNotBuilt = 3,
    CR_EmptyAnswer = 4,
    CR_NoComponents = 5,
    CR_Missing = 6,
};

class IComponentsStorage {
public:
    virtual ~IComponentsStorage() = default;
    // Asks the service for the components and stores each answer under its id
    // (a later record replaces an earlier one; other entries stay). Never throws.
    virtual int GetComponents(const std::vector<ComponentRequest>& requests,
                              std::map<std::wstring, ComponentInfo>& components) = 0;
};

class CComponentsStorage : public IComponentsStorage {
public:
    CComponentsStorage(ApplicationInfo application, OsInfo os, std::shared_ptr<Protocol::IProtocol> protocol,
                       std::shared_ptr<Cxx::Network::RequestResponse::IRequestResponse> transport);
    int GetComponents(const std::vector<ComponentRequest>& requests,
                      std::map<std::wstring, ComponentInfo>& components) override;

private:
    ApplicationInfo m_application;
    OsInfo m_os;
    std::shared_ptr<Protocol::IProtocol> m_protocol;
    std::shared_ptr<Cxx::Network::RequestResponse::IRequestResponse> m_transport;
};

std::unique_ptr<IComponentsStorage> CreateComponentsStorage(
    const ApplicationInfo& application, std::shared_ptr<Protocol::IProtocol> protocol,
    std::shared_ptr<Cxx::Network::RequestResponse::IRequestResponse> transport, const OsInfo& os);

// A downloader that checks the record's MD5; null unless url and md5 are both
// given. pause waits before each re-send; empty keeps the downloader's own.
std::unique_ptr<Cxx::Network::Downloader::IDownloader> CreateVerifyingDownloader(
    const ComponentInfo& component, Cxx::Network::Http::HttpClient::SleepFunction pause = {});
// A downloader without a digest check; null without a url.
std::unique_ptr<Cxx::Network::Downloader::IDownloader> CreateDownloader(const ComponentInfo& component);

} // namespace ComponentGet
