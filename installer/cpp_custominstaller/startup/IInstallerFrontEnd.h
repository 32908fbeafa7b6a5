#pragma once

namespace CustomInstaller {

// A front-end that runs one installation and answers the process exit code.
class IInstaller {
public:
    virtual ~IInstaller() = default;
    virtual int Run() = 0;
};

} // namespace CustomInstaller
