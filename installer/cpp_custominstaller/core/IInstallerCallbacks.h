#pragma once

#include "installer/cpp_custominstaller/core/IInstallerFile.h"
#include "installer/cpp_custominstaller/core/IInstallProgressJSCallback.h"

#include <memory>

namespace CustomInstaller::Core {

// How the source's run ended; called on the source's worker threads.
class IInstallerSourceCallback {
public:
    virtual ~IInstallerSourceCallback() = default;
    virtual void OnSourceReady(std::shared_ptr<IInstaller> installer) = 0;
    virtual void OnSourceFailed() = 0;
    virtual void OnSourceCancelled() = 0;
};

// Kinds of OnLaunchFailed.
enum ELaunchFailure : int {
    LF_General = 0,
    LF_InstallerRejected = 1,
    LF_ExitCode5 = 2,
};

// How the launch ended; called on the launcher's thread.
class IInstallerLauncherCallback {
public:
    virtual ~IInstallerLauncherCallback() = default;
    virtual void OnLaunchSucceeded() = 0;
    // An ELaunchFailure value.
    virtual void OnLaunchFailed(int kind) = 0;
    virtual void OnLaunchCancelled() = 0;
};

// Finds, downloads and writes the installer file.
class IInstallerSource {
public:
    virtual ~IInstallerSource() = default;
    // The page callback may be empty (the windowless roads).
    virtual bool Start(std::weak_ptr<IInstallerSourceCallback> callback,
                       std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback) = 0;
    virtual bool Cancel() = 0;
    // Returns when the source's threads have ended.
    virtual bool Join() = 0;
};

// Checks and runs the installer file on a thread of its own.
class IInstallerLauncher {
public:
    virtual ~IInstallerLauncher() = default;
    virtual bool Launch(const std::shared_ptr<IInstaller>& installer, std::weak_ptr<IInstallerLauncherCallback> callback,
                        std::shared_ptr<JS::IInstallProgressJSCallback> progressCallback) = 0;
    virtual bool Cancel() = 0;
    virtual bool Join() = 0;
};

} // namespace CustomInstaller::Core
