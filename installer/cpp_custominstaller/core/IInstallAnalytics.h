#pragma once

#include <string>

namespace CustomInstaller::Core {

// Analytics of the installation stages. Events have the category "Install"
// and no value; exception hits of kind 2 are failures, of kind 1 warnings.
// Calls never throw and never wait on the network.
class IInstallAnalytics {
public:
    virtual ~IInstallAnalytics() = default;
    virtual void SendEvent(const std::string& action, const std::string& screenName) = 0;
    virtual void SendException(const std::string& description, const std::string& id, int code, int kind) = 0;
};

} // namespace CustomInstaller::Core
