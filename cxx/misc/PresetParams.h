#pragma once

#include <map>
#include <string>

namespace Cxx::Misc {

// Values for the "{{name}}" placeholders of a link, ordered by name.
class CPresetParams {
public:
    struct CEntry {
        std::wstring value;
        // Escaped for a URL when it is put in.
        bool escape = true;
    };
    using Entries = std::map<std::wstring, CEntry>;

    // Each stores its value under a fixed name, replacing an earlier one.
    void SetBuildId(const std::wstring& value) { Set(L"buildid", value); }
    void SetDsi(const std::wstring& value) { Set(L"dsi", value); }
    void SetLangId(const std::wstring& value) { Set(L"langid", value); }
    void SetOSource(const std::wstring& value) { Set(L"osource", value); }
    void SetProduct(const std::wstring& value) { Set(L"product", value); }
    void SetTrackId(const std::wstring& value) { Set(L"trackid", value); }
    void SetUid(const std::wstring& value) { Set(L"uid", value); }
    void SetVersion(const std::wstring& value) { Set(L"version", value); }

    const Entries& GetEntries() const { return m_entries; }

private:
    void Set(const std::wstring& name, const std::wstring& value) { m_entries[name] = CEntry{value, true}; }

    Entries m_entries;
};

} // namespace Cxx::Misc
