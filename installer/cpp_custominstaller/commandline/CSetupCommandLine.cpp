#include "installer/cpp_custominstaller/commandline/CSetupCommandLine.h"

#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"
#include "installer/cpp_custominstaller/commandline/OptionNames.h"

#include <boost/lexical_cast/try_lexical_convert.hpp>

namespace CustomInstaller::Core::CommandLine {

CSetupCommandLine::CSetupCommandLine(const std::wstring& commandLine) : m_options(commandLine)
{
    namespace N = OptionNames;
    m_details.noUi = m_options.Find(N::NoUi);
    m_details.update = m_options.Find(N::Update);
    m_details.disablePostPages = m_options.Find(N::DisablePostPages);
    m_details.verySilent = m_options.Find(N::VerySilent);
    m_details.silent = m_options.Find(N::Silent);

    m_details.launchDelay = ReadInt(N::LaunchDelay);
    m_details.delay = ReadInt(N::Delay);

    m_details.gaTrackingUid = ReadString(N::GaTrackingUid);
    m_details.language = ReadString(N::Language);
    m_details.oSource = ReadString(N::OSource);
    m_details.buildId = ReadString(N::BuildId);
    m_details.tracking = ReadString(N::Tracking);

    if (m_details.buildId.empty()) {
        m_details.buildId = L"0";
    }
    if (m_details.language.empty()) {
        m_details.language = GetDefaultInstallerLanguage();
    }
}

std::wstring CSetupCommandLine::ReadString(const std::wstring& name) const
{
    std::wstring value;
    if (!name.empty()) {
        m_options.GetValue(name, value);
    }
    return value;
}

int CSetupCommandLine::ReadInt(const std::wstring& name) const
{
    int number = 0;
    if (!boost::conversion::try_lexical_convert(ReadString(name), number) || number < 0) {
        return 0;
    }
    return number;
}

} // namespace CustomInstaller::Core::CommandLine
