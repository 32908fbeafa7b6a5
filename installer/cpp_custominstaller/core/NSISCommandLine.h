#pragma once

#include "installer/cpp_custominstaller/commandline/CInstallationDetails.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"

// windows.h renames GetCommandLine to GetCommandLineW; every user of this
// header sees the same name that way.
#include <windows.h>

#include <functional>
#include <string>

namespace CustomInstaller::Core::CommandLine {

// The command line handed to the downloaded NSIS installer.
class INSISCommandLine {
public:
    virtual ~INSISCommandLine() = default;
    virtual std::wstring GetCommandLine() const = 0;
};

// Whether the analytics session has started (AppMetrics::IsSessionStarted in
// the program); asked each time a command line is built.
using SessionStartedProbe = std::function<bool()>;

// The switches both roads hand on: the client id, the tags, the language, the
// silence switches and the launch delay.
class CNSISCommandLineBase : public INSISCommandLine {
public:
    CNSISCommandLineBase(const CInstallationDetails& details, const CInstallerOptions& options,
                         SessionStartedProbe isSessionStarted);
    std::wstring GetCommandLine() const override;

protected:
    // " name=\"value\"", with any double quote of the value left out so that
    // the value cannot end its quotes early; empty (the option is left out)
    // when the value holds a blank followed by "/", which NSIS would read as
    // a switch of its own.
    static std::wstring BuildQuotedOption(const std::wstring& name, const std::wstring& value);
    // " name=number"
    static std::wstring BuildNumberOption(const std::wstring& name, int number);
    // " name"
    static std::wstring BuildFlagOption(const std::wstring& name);

    CInstallationDetails m_details;
    CInstallerOptions m_options;

private:
    SessionStartedProbe m_isSessionStarted;
};

// The web road: the setup program's page is the installer's interface.
class CNSISCommandLine : public CNSISCommandLineBase {
public:
    using CNSISCommandLineBase::CNSISCommandLineBase;
    std::wstring GetCommandLine() const override;
};

// The windowless roads and the fallback: the NSIS installer's own interface,
// or its silence, applies.
class CNSISOriginalCommandLine : public CNSISCommandLineBase {
public:
    // A nonzero noDelay leaves "/DELAY" out.
    CNSISOriginalCommandLine(const CInstallationDetails& details, const CInstallerOptions& options, int noDelay,
                             SessionStartedProbe isSessionStarted);
    std::wstring GetCommandLine() const override;

private:
    int m_noDelay;
};

} // namespace CustomInstaller::Core::CommandLine
