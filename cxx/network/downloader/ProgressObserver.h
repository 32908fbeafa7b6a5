#pragma once

namespace Cxx::Core::Event {

// Observer of a long operation: its start, its progress in per cent (0 to 100)
// and its final status. Every operation has an empty default.
template <typename TStatus>
class IProgressObserver {
public:
    virtual ~IProgressObserver() = default;
    virtual void OnStart() {}
    virtual void OnProgress(double percent) { static_cast<void>(percent); }
    virtual void OnStatus(TStatus status) { static_cast<void>(status); }
};

} // namespace Cxx::Core::Event
