#include "installer/cpp_custominstaller/session/BrowserEmulationValue.h"

#include "browsercontrol/BrowserEmulation.h"
#include "cxx/core/TextUtils.h"

namespace CustomInstaller {

std::wstring GetModuleFileNameOnly()
{
    const std::wstring path = Cxx::Core::Utils::GetModuleFilePath();
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

CBrowserEmulationValue::CBrowserEmulationValue(std::wstring valueName) : m_valueName(std::move(valueName)) {}

bool CBrowserEmulationValue::Enable()
{
    std::lock_guard guard(m_lock);
    // An empty name would write the key's default value.
    if (m_written || m_valueName.empty()) {
        return false;
    }
    std::optional<DWORD> previous;
    if (!BrowserControl::SetBrowserEmulation(m_valueName, DocumentMode, BrowserControl::EH_CurrentUser, false,
                                             &previous)) {
        return false;
    }
    m_written = true;
    // A value equal to ours was left by a run that could not clean up (a
    // crash, or a copy that skipped the instance check): it is ours to delete,
    // not an earlier setting to restore.
    if (previous == DocumentMode) {
        previous.reset();
    }
    m_previous = previous;
    return true;
}

bool CBrowserEmulationValue::Disable()
{
    std::lock_guard guard(m_lock);
    if (!m_written) {
        return false;
    }
    m_written = false;
    return BrowserControl::ResetBrowserEmulation(m_valueName, BrowserControl::EH_CurrentUser, false, m_previous);
}

namespace {

CBrowserEmulationValue& ProgramValue()
{
    static CBrowserEmulationValue value(GetModuleFileNameOnly());
    return value;
}

} // namespace

void EnableBrowserEmulation()
{
    ProgramValue().Enable();
}

void DisableBrowserEmulation()
{
    ProgramValue().Disable();
}

} // namespace CustomInstaller
