#include "installer/cpp_custominstaller/core/NSISCommandLine.h"

#include "installer/cpp_custominstaller/commandline/OptionNames.h"

#include <algorithm>
#include <utility>

namespace CustomInstaller::Core::CommandLine {

CNSISCommandLineBase::CNSISCommandLineBase(const CInstallationDetails& details, const CInstallerOptions& options,
                                           SessionStartedProbe isSessionStarted)
    : m_details(details), m_options(options), m_isSessionStarted(std::move(isSessionStarted))
{
}

std::wstring CNSISCommandLineBase::BuildQuotedOption(const std::wstring& name, const std::wstring& value)
{
    std::wstring unquoted = value;
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), L'"'), unquoted.end());
    // NSIS groups quotes only at the start of a token, so inside name="..." a
    // blank followed by "/" starts a switch of its own ("/S", "/D=...").
    if (unquoted.find(L" /") != std::wstring::npos) {
        return std::wstring();
    }
    return L" " + name + L"=\"" + unquoted + L"\"";
}

std::wstring CNSISCommandLineBase::BuildNumberOption(const std::wstring& name, int number)
{
    return L" " + name + L"=" + std::to_wstring(number);
}

std::wstring CNSISCommandLineBase::BuildFlagOption(const std::wstring& name)
{
    return L" " + name;
}

std::wstring CNSISCommandLineBase::GetCommandLine() const
{
    std::wstring text;
    if (!m_options.IsNoGaUid() || (m_isSessionStarted && m_isSessionStarted())) {
        text = BuildQuotedOption(OptionNames::GaTrackingUid, m_options.GetTrackingUid());
        if (!text.empty()) {
            text.erase(0, 1);
        }
    }
    const std::pair<const wchar_t*, const std::wstring*> texts[] = {
        {OptionNames::Tracking, &m_details.tracking},
        {OptionNames::BuildId, &m_details.buildId},
        {OptionNames::OSource, &m_details.oSource},
        {OptionNames::Language, &m_details.language},
    };
    for (const auto& [name, value] : texts) {
        if (!value->empty()) {
            text += BuildQuotedOption(name, *value);
        }
    }
    const std::pair<const wchar_t*, bool> flags[] = {
        {OptionNames::VerySilent, m_details.verySilent},
        {OptionNames::DisablePostPages, m_details.disablePostPages},
        {OptionNames::Update, m_details.update},
    };
    for (const auto& [name, set] : flags) {
        if (set) {
            text += BuildFlagOption(name);
        }
    }
    if (m_details.launchDelay > 0) {
        text += BuildNumberOption(OptionNames::LaunchDelay, m_details.launchDelay);
    }
    return text;
}

std::wstring CNSISCommandLine::GetCommandLine() const
{
    return CNSISCommandLineBase::GetCommandLine() + BuildFlagOption(OptionNames::NoUi);
}

CNSISOriginalCommandLine::CNSISOriginalCommandLine(const CInstallationDetails& details,
                                                   const CInstallerOptions& options, int noDelay,
                                                   SessionStartedProbe isSessionStarted)
    : CNSISCommandLineBase(details, options, std::move(isSessionStarted)), m_noDelay(noDelay)
{
}

std::wstring CNSISOriginalCommandLine::GetCommandLine() const
{
    std::wstring text = CNSISCommandLineBase::GetCommandLine();
    if (m_noDelay == 0) {
        text += BuildNumberOption(OptionNames::Delay, m_details.delay);
    }
    if (m_details.silent) {
        text += BuildFlagOption(OptionNames::Silent);
    }
    if (m_details.noUi) {
        text += BuildFlagOption(OptionNames::NoUi);
    }
    return text;
}

} // namespace CustomInstaller::Core::CommandLine
