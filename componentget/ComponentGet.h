#pragma once

#include <string>
#include <vector>

namespace ComponentGet {

// The running product. Zero and empty texts mean "not given".
struct ApplicationInfo {
    std::wstring code;
    int buildId = 0;
    std::wstring uid;
    std::wstring puid;
    std::wstring version;
    std::wstring language;
};

// The machine. Zero and empty texts mean "not given".
struct OsInfo {
    std::wstring arch;
    std::wstring version;
    int build = 0;
};

// One wanted component; version may be empty.
struct ComponentRequest {
    std::wstring id;
    std::wstring arch;
    std::wstring version;
};

struct ComponentsRequest {
    int protocolVersion = 1;
    ApplicationInfo application;
    OsInfo os;
    std::vector<ComponentRequest> components;
};

// One component of the service's answer.
struct ComponentInfo {
    std::wstring id;
    std::wstring version;
    std::wstring url;
    std::wstring md5;
    int reserved = 0;
};

} // namespace ComponentGet
