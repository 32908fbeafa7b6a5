#include "productsettings/ArchiveCheck.h"

#include "cxx/core/TextUtils.h"

#include <algorithm>
#include <vector>

namespace ProductSettings {

namespace {

// The reader's character classes; any letter outside ASCII is a name letter.
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool IsNameLetter(wchar_t c)
{
    return c != L'\0' && !IsBlank(c) && c != L'/' && c != L'>' && c != L'?';
}

bool IsAttributeNameLetter(wchar_t c)
{
    return IsNameLetter(c) && c != L'!' && c != L'<' && c != L'=';
}

bool IsXmlCharacter(unsigned long code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The text between "&" and ";": "#" and decimal digits, or "#x" and hex digits.
bool IsCharacterReference(std::wstring_view name)
{
    if (name.size() < 2 || name[0] != L'#') {
        return false;
    }
    const bool hex = name[1] == L'x';
    const std::wstring_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) {
        return false;
    }
    unsigned long code = 0;
    const int base = hex ? 16 : 10;
    for (const wchar_t c : digits) {
        const int digit = Cxx::Core::Utils::HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return false;
        }
        code = code * base + static_cast<unsigned long>(digit);
        if (code > 0x10FFFF) {
            return false;
        }
    }
    return IsXmlCharacter(code);
}

// Every "&" in the text or attribute value starts a reference the reader knows.
bool ReferencesDefined(std::wstring_view text)
{
    for (std::size_t amp = text.find(L'&'); amp != std::wstring_view::npos; amp = text.find(L'&', amp + 1)) {
        const std::size_t semicolon = text.find(L';', amp);
        if (semicolon == std::wstring_view::npos) {
            return false;
        }
        const std::wstring_view name = text.substr(amp + 1, semicolon - amp - 1);
        if (name != L"amp" && name != L"lt" && name != L"gt" && name != L"quot" && name != L"apos" &&
            !IsCharacterReference(name)) {
            return false;
        }
    }
    return true;
}

// Walks the text as the reader does, but with its own stack of open elements
// instead of the reader's recursion.
class CArchiveScan {
public:
    CArchiveScan(std::wstring_view text, std::size_t maxDepth)
        // The reader's text ends at its first NUL.
        : m_text(text.substr(0, text.find(L'\0'))), m_maxDepth(maxDepth)
    {
    }

    bool Run()
    {
        // The reader skips one byte-order mark.
        m_at = At(0) == 0xFEFF ? 1 : 0;
        while (true) {
            if (m_open.empty()) {
                SkipBlanks();
                if (m_at == m_text.size()) {
                    return m_rootSeen;
                }
                if (At(m_at) != L'<' || At(m_at + 1) == L'/') {
                    return false;
                }
                ++m_at;
                if (!Markup()) {
                    return false;
                }
            } else if (m_at == m_text.size()) {
                return false;
            } else if (At(m_at) != L'<') {
                const std::size_t end = std::min(m_text.find(L'<', m_at), m_text.size());
                if (!ReferencesDefined(m_text.substr(m_at, end - m_at))) {
                    return false;
                }
                m_at = end;
            } else if (At(m_at + 1) == L'/') {
                m_at += 2;
                if (Name(IsNameLetter) != m_open.back()) {
                    return false;
                }
                SkipBlanks();
                if (At(m_at) != L'>') {
                    return false;
                }
                ++m_at;
                m_open.pop_back();
            } else {
                ++m_at;
                if (!Markup()) {
                    return false;
                }
            }
        }
    }

private:
    wchar_t At(std::size_t at) const { return at < m_text.size() ? m_text[at] : L'\0'; }

    bool StartsAt(std::size_t at, std::wstring_view prefix) const
    {
        return m_text.substr(std::min(at, m_text.size())).starts_with(prefix);
    }

    void SkipBlanks()
    {
        while (IsBlank(At(m_at))) {
            ++m_at;
        }
    }

    std::wstring_view Name(bool (*isLetter)(wchar_t))
    {
        const std::size_t begin = m_at;
        while (isLetter(At(m_at))) {
            ++m_at;
        }
        return m_text.substr(begin, m_at - begin);
    }

    // The reader looks for the end only after the opener: "<!-->" opens a
    // comment, "<?>" an instruction.
    bool SkipPast(std::wstring_view end, std::size_t from)
    {
        const std::size_t found = m_text.find(end, from);
        if (found == std::wstring_view::npos) {
            return false;
        }
        m_at = found + end.size();
        return true;
    }

    // After a "<" that opens no closing tag.
    bool Markup()
    {
        if (At(m_at) == L'?') {
            // A declaration or a processing instruction.
            return SkipPast(L"?>", m_at + 1);
        }
        if (StartsAt(m_at, L"!--")) {
            return SkipPast(L"-->", m_at + 3);
        }
        if (StartsAt(m_at, L"![CDATA[")) {
            return !m_open.empty() && SkipPast(L"]]>", m_at + 8);
        }
        if (StartsAt(m_at, L"!DOCTYPE") && IsBlank(At(m_at + 8))) {
            return DocumentType();
        }
        // The reader skips any other "<!" up to its first ">"; no document holds one.
        return At(m_at) != L'!' && Element();
    }

    // The reader skips a bracketed internal subset by counting brackets,
    // whatever stands between them.
    bool DocumentType()
    {
        if (!m_open.empty() || m_rootSeen || m_documentTypeSeen) {
            return false;
        }
        m_documentTypeSeen = true;
        for (m_at += 9; At(m_at) != L'>'; ++m_at) {
            if (At(m_at) == L'\0') {
                return false;
            }
            if (At(m_at) == L'[') {
                for (std::size_t depth = 1; depth > 0;) {
                    const wchar_t c = At(++m_at);
                    if (c == L'\0') {
                        return false;
                    }
                    depth += c == L'[' ? 1 : 0;
                    depth -= c == L']' ? 1 : 0;
                }
            }
        }
        ++m_at;
        return true;
    }

    bool Element()
    {
        const std::wstring_view name = Name(IsNameLetter);
        if (name.empty() || (m_open.empty() && m_rootSeen)) {
            return false;
        }
        m_rootSeen = true;
        SkipBlanks();
        while (IsAttributeNameLetter(At(m_at))) {
            Name(IsAttributeNameLetter);
            SkipBlanks();
            if (At(m_at) != L'=') {
                return false;
            }
            ++m_at;
            SkipBlanks();
            const wchar_t quote = At(m_at);
            if (quote != L'"' && quote != L'\'') {
                return false;
            }
            const std::size_t end = m_text.find(quote, m_at + 1);
            if (end == std::wstring_view::npos || !ReferencesDefined(m_text.substr(m_at + 1, end - m_at - 1))) {
                return false;
            }
            m_at = end + 1;
            SkipBlanks();
        }
        if (At(m_at) == L'/') {
            m_at += 2;
            return At(m_at - 1) == L'>';
        }
        if (At(m_at) != L'>' || m_open.size() == m_maxDepth) {
            return false;
        }
        ++m_at;
        m_open.push_back(name);
        return true;
    }

    const std::wstring_view m_text;
    const std::size_t m_maxDepth;
    std::size_t m_at = 0;
    std::vector<std::wstring_view> m_open;
    bool m_rootSeen = false;
    bool m_documentTypeSeen = false;
};

} // namespace

bool IsWellFormedArchive(std::wstring_view text, std::size_t maxDepth)
{
    return CArchiveScan(text, maxDepth).Run();
}

} // namespace ProductSettings
