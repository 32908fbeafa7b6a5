#pragma once

#include "installer/cpp_custominstaller/core/IInstallAnalytics.h"

namespace CustomInstaller {

// The install stages' analytics, sent through the process's analytics client.
class CMetricsInstallAnalytics : public Core::IInstallAnalytics {
public:
    void SendEvent(const std::string& action, const std::string& screenName) override;
    void SendException(const std::string& description, const std::string& id, int code, int kind) override;
};

} // namespace CustomInstaller
