#pragma once

namespace CustomInstaller {

// The analytics session of one setup run, shared by the start-up and the
// install managers.
class IGASessionHandler {
public:
    virtual ~IGASessionHandler() = default;
    virtual void OnInstallSucceeded() = 0;
    virtual void OnInstallFailed() = 0;
    virtual void OnInstallCancelled() = 0;
    // Waits a bounded time for the queued analytics hits.
    virtual void Shutdown() = 0;
};

} // namespace CustomInstaller
