#include "cxx/network/Url.h"

#include <cwctype>

namespace Cxx::Network {

namespace {

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return i == a.size() && !b[i];
}

bool ParsePort(const std::wstring& text, std::uint16_t& port)
{
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace

bool CUrl::CrackUrl(const std::wstring& url)
{
    *this = CUrl();
    const auto schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring::npos) {
        return false;
    }
    const std::wstring schemeName = url.substr(0, schemeEnd);
    EUrlScheme scheme;
    std::uint16_t port;
    if (EqualsNoCase(schemeName, L"http")) {
        scheme = US_Http;
        port = 80;
    } else if (EqualsNoCase(schemeName, L"https")) {
        scheme = US_Https;
        port = 443;
    } else {
        return false;
    }

    const std::size_t authorityStart = schemeEnd + 3;
    const std::size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
    std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);
    if (const auto at = authority.rfind(L'@'); at != std::wstring::npos) {
        authority.erase(0, at + 1);
    }

    std::wstring host;
    std::wstring portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == L'[') {
        const auto close = authority.find(L']');
        if (close == std::wstring::npos) {
            return false;
        }
        host = authority.substr(0, close + 1);
        const std::wstring rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != L':') {
                return false;
            }
            portText = rest.substr(1);
            hasPort = true;
        }
    } else {
        const auto colon = authority.find(L':');
        host = authority.substr(0, colon);
        if (colon != std::wstring::npos) {
            portText = authority.substr(colon + 1);
            hasPort = true;
        }
    }
    if (host.empty() || host.find_first_of(L" \t\r\n") != std::wstring::npos) {
        return false;
    }
    if (hasPort && !ParsePort(portText, port)) {
        return false;
    }

    std::wstring path;
    std::wstring query;
    if (authorityEnd != std::wstring::npos) {
        const std::wstring rest = url.substr(authorityEnd, url.find(L'#', authorityEnd) - authorityEnd);
        const auto question = rest.find(L'?');
        path = rest.substr(0, question);
        if (question != std::wstring::npos) {
            query = rest.substr(question);
        }
    }
    if (path.empty()) {
        path = L"/";
    }

    m_scheme = scheme;
    m_host = std::move(host);
    m_port = port;
    m_path = std::move(path);
    m_query = std::move(query);
    return true;
}

} // namespace Cxx::Network
