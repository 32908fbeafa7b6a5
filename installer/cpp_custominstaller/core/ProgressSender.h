#pragma once

#include "installer/cpp_custominstaller/core/IInstallProgressJSCallback.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace CustomInstaller::Utils {

// Sleeps on the calling thread; false when a stop was requested for it
// (Cxx::Core::Utils::ThisThreadStopToken) before or during the sleep.
using Sleeper = std::function<bool(std::chrono::milliseconds)>;

// The interruptible sleep of the platform library.
Sleeper SystemSleeper();

// Moves the page's progress bar from start toward end on a thread of its own,
// a share of the remaining distance at every interval.
class CProgressSender {
public:
    CProgressSender(std::weak_ptr<CustomInstaller::Core::JS::IInstallProgressJSCallback> progressCallback,
                    const float& start, const float& end, const int& interval, const float& factor,
                    Sleeper sleeper = SystemSleeper());
    // Stops the thread as well, so that the owner never waits for a sender
    // that nobody stopped.
    ~CProgressSender();
    CProgressSender(const CProgressSender&) = delete;
    CProgressSender& operator=(const CProgressSender&) = delete;

    void Start();
    // Stops the thread and shows end on the page.
    void Stop();

    // The value that follows value.
    float Step(float value) const;

private:
    void Run();
    void StopThread();

    std::weak_ptr<CustomInstaller::Core::JS::IInstallProgressJSCallback> m_progressCallback;
    float m_end;
    float m_start;
    int m_interval;
    float m_factor;
    Sleeper m_sleeper;
    std::jthread m_thread;
};

} // namespace CustomInstaller::Utils
