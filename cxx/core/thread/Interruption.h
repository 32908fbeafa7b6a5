#pragma once

#include <chrono>
#include <stop_token>

// std::stop_callback (and so condition_variable_any waits on a stop token)
// can hang in this toolchain's runtime when the callback runs while it is
// being destroyed; nothing here registers one.

namespace Cxx::Core::Utils {

// Thrown by InterruptionPoint. Deliberately not a std::exception, so that a
// handler for ordinary failures does not swallow a request to stop.
class CThreadInterrupted {
};

// The stop token installed for the calling thread: the one of the
// COperationThread worker running it, or of a CStopTokenScope; an empty
// token (stop never possible) elsewhere.
std::stop_token ThisThreadStopToken();

// Installs a stop token for the calling thread for the scope's lifetime and
// restores the former one afterwards. For workers that are not a COperationThread.
class CStopTokenScope {
public:
    explicit CStopTokenScope(std::stop_token token);
    ~CStopTokenScope();
    CStopTokenScope(const CStopTokenScope&) = delete;
    CStopTokenScope& operator=(const CStopTokenScope&) = delete;

private:
    std::stop_token m_token;
    const std::stop_token* m_previous;
};

// Requests the stop and wakes the sleepers at once. A stop requested
// directly on the source is still seen, within a few tens of milliseconds.
void RequestStop(std::stop_source source);

// Sleeps for the given time, ending early when a stop is requested for the
// calling thread. Returns false when a stop was requested before or during the sleep.
bool InterruptibleSleep(std::chrono::milliseconds duration);

// Throws CThreadInterrupted when a stop was requested for the calling thread.
void InterruptionPoint();

} // namespace Cxx::Core::Utils
