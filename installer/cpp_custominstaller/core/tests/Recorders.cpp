#include "installer/cpp_custominstaller/core/tests/Recorders.h"

#include "cxx/core/thread/Interruption.h"

namespace KvTest {

void CRecordingPage::OnProgress(float percent)
{
    std::lock_guard guard(m_lock);
    m_calls.push_back("progress");
    m_progress.push_back(percent);
}

std::vector<std::string> CRecordingPage::Calls() const
{
    std::lock_guard guard(m_lock);
    return m_calls;
}

std::vector<float> CRecordingPage::Progress() const
{
    std::lock_guard guard(m_lock);
    return m_progress;
}

void CRecordingPage::Add(std::string call)
{
    std::lock_guard guard(m_lock);
    m_calls.push_back(std::move(call));
}

std::vector<std::string> CRecordingSession::Calls() const
{
    std::lock_guard guard(m_lock);
    return m_calls;
}

void CRecordingSession::Add(std::string call)
{
    std::lock_guard guard(m_lock);
    m_calls.push_back(std::move(call));
}

std::vector<std::string> CRecordingLauncherCallback::Calls() const
{
    std::lock_guard guard(m_lock);
    return m_calls;
}

void CRecordingLauncherCallback::Add(std::string call)
{
    std::lock_guard guard(m_lock);
    m_calls.push_back(std::move(call));
}

void CRecordingAnalytics::SendEvent(const std::string& action, const std::string& screenName)
{
    std::lock_guard guard(m_lock);
    m_hits.push_back("event " + action + "/" + screenName);
}

void CRecordingAnalytics::SendException(const std::string& description, const std::string& id, int code, int kind)
{
    std::lock_guard guard(m_lock);
    m_hits.push_back("exception " + description + "/" + id + "/" + std::to_string(code) + "/" + std::to_string(kind));
}

std::vector<std::string> CRecordingAnalytics::Hits() const
{
    std::lock_guard guard(m_lock);
    return m_hits;
}

CustomInstaller::Core::CLaunchTiming CVirtualTime::Timing()
{
    CustomInstaller::Core::CLaunchTiming timing;
    timing.now = [this] {
        std::lock_guard guard(m_lock);
        return m_now;
    };
    timing.pause = [this](std::chrono::milliseconds duration) {
        std::lock_guard guard(m_lock);
        ++m_pauses;
        m_now += duration;
        return !Cxx::Core::Utils::ThisThreadStopToken().stop_requested();
    };
    timing.progressPause = CustomInstaller::Utils::SystemSleeper();
    return timing;
}

int CVirtualTime::Pauses() const
{
    std::lock_guard guard(m_lock);
    return m_pauses;
}

} // namespace KvTest
