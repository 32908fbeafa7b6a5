#include "cxx/core/thread/Interruption.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace Cxx::Core::Utils {

namespace {

// A plain pointer on purpose: with this toolchain a thread_local that has a
// destructor may be destroyed after its storage was freed at thread exit,
// which corrupts the heap. The token itself lives in the installing scope.
thread_local const std::stop_token* t_stopToken = nullptr;

const std::stop_token& CurrentToken()
{
    static const std::stop_token none;
    return t_stopToken ? *t_stopToken : none;
}

// How long a sleeper may miss a stop that was requested without RequestStop.
constexpr std::chrono::milliseconds PollSlice(20);

struct CSleepers {
    std::mutex mutex;
    std::condition_variable wakeUp;
};

CSleepers& Sleepers()
{
    static CSleepers sleepers;
    return sleepers;
}

} // namespace

std::stop_token ThisThreadStopToken()
{
    return CurrentToken();
}

CStopTokenScope::CStopTokenScope(std::stop_token token)
    : m_token(std::move(token)), m_previous(std::exchange(t_stopToken, &m_token))
{
}

CStopTokenScope::~CStopTokenScope()
{
    t_stopToken = m_previous;
}

void RequestStop(std::stop_source source)
{
    source.request_stop();
    CSleepers& sleepers = Sleepers();
    std::lock_guard<std::mutex> guard(sleepers.mutex);
    sleepers.wakeUp.notify_all();
}

bool InterruptibleSleep(std::chrono::milliseconds duration)
{
    const std::stop_token token = CurrentToken();
    if (token.stop_requested()) {
        return false;
    }
    if (!token.stop_possible()) {
        std::this_thread::sleep_for(duration);
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + duration;
    CSleepers& sleepers = Sleepers();
    std::unique_lock<std::mutex> guard(sleepers.mutex);
    while (!token.stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        sleepers.wakeUp.wait_for(guard, std::min<std::chrono::steady_clock::duration>(deadline - now, PollSlice));
    }
    return false;
}

void InterruptionPoint()
{
    if (CurrentToken().stop_requested()) {
        throw CThreadInterrupted();
    }
}

} // namespace Cxx::Core::Utils
