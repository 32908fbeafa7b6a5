#pragma once

#include "installer/cpp_custominstaller/core/IGASessionHandler.h"
#include "installer/cpp_custominstaller/startup/IStartupServices.h"

#include <memory>
#include <string>

namespace CustomInstaller {

// The whole run of the setup program for one command line (without the
// program name); answers the process exit code. Throws nothing: a run that
// threw answers 99, after the common end once it got past the instance checks.
int RunSetup(const std::wstring& commandLine, IStartupServices& services);

// The common end of every run that got past the instance checks; each step runs
// whatever the earlier ones threw, and nothing is thrown. The session handler may be empty.
void FinishInstallerRun(const std::shared_ptr<IGASessionHandler>& sessionHandler, IStartupServices& services);

} // namespace CustomInstaller
