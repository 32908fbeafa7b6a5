#include "browsercontrol/js/MarshaledInterfacePointer.h"

#include <atomic>

namespace BrowserControl::JS::Detail {

std::uint64_t CurrentThreadSerial()
{
    static std::atomic<std::uint64_t> s_next{1};
    thread_local const std::uint64_t serial = s_next.fetch_add(1);
    return serial;
}

} // namespace BrowserControl::JS::Detail
