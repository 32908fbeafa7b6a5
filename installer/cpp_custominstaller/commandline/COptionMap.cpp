#include "installer/cpp_custominstaller/commandline/COptionMap.h"

#include "cxx/core/OptionTokenizer.h"

namespace CustomInstaller::Core::CommandLine {

COptionMap::COptionMap(const std::wstring& commandLine)
{
    Parse(commandLine);
}

bool COptionMap::Parse(const std::wstring& text)
{
    m_options.clear();
    return Cxx::Core::Utils::TokenizeOptions<wchar_t>(text, m_options);
}

bool COptionMap::Find(const std::wstring& name) const
{
    return m_options.find(name) != m_options.end();
}

bool COptionMap::GetValue(const std::wstring& name, std::wstring& value) const
{
    const auto it = m_options.find(name);
    if (it == m_options.end()) {
        return false;
    }
    value = it->second;
    return true;
}

} // namespace CustomInstaller::Core::CommandLine
