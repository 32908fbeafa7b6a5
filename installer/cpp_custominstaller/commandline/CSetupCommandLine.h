#pragma once

#include "installer/cpp_custominstaller/commandline/CInstallationDetails.h"
#include "installer/cpp_custominstaller/commandline/COptionMap.h"

#include <string>

namespace CustomInstaller::Core::CommandLine {

// Reads the setup program's options out of its command line.
class CSetupCommandLine {
public:
    explicit CSetupCommandLine(const std::wstring& commandLine);

    CInstallationDetails GetInstallationDetails() const { return m_details; }

    // Empty when the name is empty or absent.
    std::wstring ReadString(const std::wstring& name) const;
    // 0 when the name is empty or absent, the value is not a whole number, or
    // it is negative.
    int ReadInt(const std::wstring& name) const;

private:
    COptionMap m_options;
    CInstallationDetails m_details;
};

} // namespace CustomInstaller::Core::CommandLine
