#pragma once

#include "installer/cpp_custominstaller/core/IInstallProgressJSCallback.h"

#include <memory>

namespace CustomInstaller::Core {

// Outcome of one installation, as GetState reports it.
enum EInstallState : int {
    IS_Succeeded = 0,
    IS_SourceFailed = 1,
    IS_LaunchFailed = 2,
    IS_SourceCancelled = 3,
    IS_InstallerCancelled = 4,
    IS_InstallerNotStarted = 5,
    IS_InstallerExitCode5 = 6,
    IS_NotFinished = 7,
};

// Runs one installation: finds, downloads, checks and runs the installer.
class IInstallManager {
public:
    virtual ~IInstallManager() = default;
    // An EInstallState value; IS_NotFinished until an outcome is known.
    virtual int GetState() = 0;
    // The callback may be empty (the windowless roads).
    virtual bool Start(std::shared_ptr<JS::IInstallProgressJSCallback> callback) = 0;
    // True once Start was called: an installation may be under way.
    virtual bool HasStarted() = 0;
    virtual bool Cancel() = 0;
    // Returns when the installation's threads have ended.
    virtual void Wait() = 0;
};

} // namespace CustomInstaller::Core
