#pragma once

namespace CustomInstaller::Core::JS {

// The page's progress callback of one installation; callable from any thread.
class IInstallProgressJSCallback {
public:
    virtual ~IInstallProgressJSCallback() = default;
    virtual void OnStarted() = 0;
    // Per cent, 0 to 100.
    virtual void OnProgress(float percent) = 0;
    // 0: no installer file or a general failure, 1: the installer file was
    // rejected, 3: the installer ended with its code 5.
    virtual void OnError(int code) = 0;
    virtual void OnCancel() = 0;
    virtual void OnFinish() = 0;
};

} // namespace CustomInstaller::Core::JS
