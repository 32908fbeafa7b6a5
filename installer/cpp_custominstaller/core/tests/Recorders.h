#pragma once

#include "installer/cpp_custominstaller/core/IGASessionHandler.h"
#include "installer/cpp_custominstaller/core/IInstallAnalytics.h"
#include "installer/cpp_custominstaller/core/IInstallProgressJSCallback.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace KvTest {

// Every call into the page, in order: "started", "progress", "error 3", ...
class CRecordingPage : public CustomInstaller::Core::JS::IInstallProgressJSCallback {
public:
    void OnStarted() override { Add("started"); }
    void OnProgress(float percent) override;
    void OnError(int code) override { Add("error " + std::to_string(code)); }
    void OnCancel() override { Add("cancel"); }
    void OnFinish() override { Add("finish"); }

    std::vector<std::string> Calls() const;
    std::vector<float> Progress() const;

private:
    void Add(std::string call);

    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    std::vector<float> m_progress;
};

class CRecordingSession : public CustomInstaller::IGASessionHandler {
public:
    void OnInstallSucceeded() override { Add("succeeded"); }
    void OnInstallFailed() override { Add("failed"); }
    void OnInstallCancelled() override { Add("cancelled"); }
    void Shutdown() override { Add("shutdown"); }
    std::vector<std::string> Calls() const;

private:
    void Add(std::string call);

    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
};

// Events as "event <action>/<screen name>", exception hits as
// "exception <description>/<id>/<code>/<kind>".
class CRecordingAnalytics : public CustomInstaller::Core::IInstallAnalytics {
public:
    void SendEvent(const std::string& action, const std::string& screenName) override;
    void SendException(const std::string& description, const std::string& id, int code, int kind) override;
    std::vector<std::string> Hits() const;

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_hits;
};

// Launch outcomes as "succeeded", "failed 2", "cancelled".
class CRecordingLauncherCallback : public CustomInstaller::Core::IInstallerLauncherCallback {
public:
    void OnLaunchSucceeded() override { Add("succeeded"); }
    void OnLaunchFailed(int kind) override { Add("failed " + std::to_string(kind)); }
    void OnLaunchCancelled() override { Add("cancelled"); }
    std::vector<std::string> Calls() const;

private:
    void Add(std::string call);

    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
};

// A clock that only the launcher's pauses move forward, so the preparation
// limit is reached at once. The progress sender keeps its real sleeps, which
// the launcher interrupts.
class CVirtualTime {
public:
    CustomInstaller::Core::CLaunchTiming Timing();
    int Pauses() const;

private:
    mutable std::mutex m_lock;
    std::chrono::milliseconds m_now{1000};
    int m_pauses = 0;
};

} // namespace KvTest
