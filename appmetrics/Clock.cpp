#include "appmetrics/Clock.h"

#include <condition_variable>
#include <mutex>

namespace AppMetrics {
namespace {

class CSystemClock : public IClock {
public:
    std::chrono::microseconds Steady() override
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }

    UtcTimePoint Utc() override
    {
        return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
    }
};

class CSystemSleeper : public ISleeper {
public:
    bool SleepFor(std::chrono::milliseconds duration, std::stop_token stop) override
    {
        // The flag is set under the mutex, so a stop that comes while this
        // thread is about to wait cannot be missed.
        std::mutex mutex;
        std::condition_variable wake;
        bool stopped = false;
        const std::stop_callback onStop(stop, [&] {
            std::lock_guard lock(mutex);
            stopped = true;
            wake.notify_all();
        });
        std::unique_lock lock(mutex);
        wake.wait_for(lock, duration, [&stopped] { return stopped; });
        return !stopped;
    }
};

} // namespace

std::shared_ptr<IClock> CreateSystemClock()
{
    return std::make_shared<CSystemClock>();
}

std::shared_ptr<ISleeper> CreateSystemSleeper()
{
    return std::make_shared<CSystemSleeper>();
}

} // namespace AppMetrics
