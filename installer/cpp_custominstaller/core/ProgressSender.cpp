#include "installer/cpp_custominstaller/core/ProgressSender.h"

#include "cxx/core/thread/Interruption.h"

namespace CustomInstaller::Utils {

Sleeper SystemSleeper()
{
    return [](std::chrono::milliseconds duration) { return Cxx::Core::Utils::InterruptibleSleep(duration); };
}

CProgressSender::CProgressSender(std::weak_ptr<CustomInstaller::Core::JS::IInstallProgressJSCallback> progressCallback,
                                 const float& start, const float& end, const int& interval, const float& factor,
                                 Sleeper sleeper)
    : m_progressCallback(std::move(progressCallback)),
      m_end(end),
      m_start(start),
      m_interval(interval),
      m_factor(factor),
      m_sleeper(std::move(sleeper))
{
}

CProgressSender::~CProgressSender()
{
    StopThread();
}

void CProgressSender::Start()
{
    StopThread();
    m_thread = std::jthread([this](std::stop_token token) {
        const Cxx::Core::Utils::CStopTokenScope scope(std::move(token));
        try {
            Run();
        } catch (...) {
            // A call into the page that throws ends the steps of the bar, not the process.
        }
    });
}

void CProgressSender::Stop()
{
    const auto page = m_progressCallback.lock();
    if (m_thread.joinable() && page) {
        StopThread();
        page->OnProgress(m_end);
    }
}

float CProgressSender::Step(float value) const
{
    if (m_end - value <= 0.0f) {
        return m_end;
    }
    const long double next =
        static_cast<long double>(m_factor) * (static_cast<long double>(m_end) - value) + static_cast<long double>(value);
    return static_cast<float>(next);
}

void CProgressSender::Run()
{
    const auto page = m_progressCallback.lock();
    if (!page || !(m_end > 0.0f) || m_start < 0.0f || m_start > m_end || m_interval < 0) {
        return;
    }
    const std::chrono::milliseconds interval(m_interval);
    if (!m_sleeper(interval)) {
        return;
    }
    for (float next = Step(m_start); next < m_end; next = Step(next)) {
        page->OnProgress(next);
        if (!m_sleeper(interval)) {
            return;
        }
    }
    page->OnProgress(m_end);
}

void CProgressSender::StopThread()
{
    if (m_thread.joinable()) {
        Cxx::Core::Utils::RequestStop(m_thread.get_stop_source());
        m_thread.join();
    }
}

} // namespace CustomInstaller::Utils
