#pragma once

#include <map>
#include <string>

namespace CustomInstaller::Core::CommandLine {

// Option name (with its "/" or "-") to value, from one command line. Names
// are case-sensitive; the first occurrence of an option wins.
class COptionMap {
public:
    COptionMap() = default;
    explicit COptionMap(const std::wstring& commandLine);

    // Replaces the map with the options of text; true when any was found.
    bool Parse(const std::wstring& text);
    bool Find(const std::wstring& name) const;
    // False, and value untouched, when the name is absent.
    bool GetValue(const std::wstring& name, std::wstring& value) const;

    const std::map<std::wstring, std::wstring>& Options() const { return m_options; }

private:
    std::map<std::wstring, std::wstring> m_options;
};

} // namespace CustomInstaller::Core::CommandLine
