#pragma once

#include "installer/cpp_custominstaller/core/IInstallManager.h"

#include <memory>
#include <vector>

namespace KvTest {

// Tells the page that each run started, as the real manager does, and keeps its callbacks.
class CStartingManager : public CustomInstaller::Core::IInstallManager {
public:
    using CCallback = std::shared_ptr<CustomInstaller::Core::JS::IInstallProgressJSCallback>;

    int GetState() override { return CustomInstaller::Core::IS_NotFinished; }
    bool Start(CCallback callback) override
    {
        callbacks.push_back(callback);
        callback->OnStarted();
        return startAnswer;
    }
    bool HasStarted() override { return !callbacks.empty(); }
    bool Cancel() override
    {
        ++cancels;
        return false;
    }
    void Wait() override {}

    std::vector<CCallback> callbacks;
    bool startAnswer = true;
    int cancels = 0;
};

} // namespace KvTest
