#pragma once

#include <cstdint>
#include <string>

namespace Cxx::Network {

// Scheme numbers as the Windows URL cracking API numbers them.
enum EUrlScheme : std::int32_t {
    US_Unknown = -1,
    US_Http = 2,
    US_Https = 3,
};

// Splits an absolute http or https URL: scheme://[user[:password]@]host[:port][/path][?query][#fragment].
class CUrl {
public:
    // False (and every part empty) when the text is not such a URL.
    bool CrackUrl(const std::wstring& url);

    EUrlScheme GetScheme() const { return m_scheme; }
    const std::wstring& GetHostName() const { return m_host; }
    // The explicit port, else the scheme's default (80 or 443).
    std::uint16_t GetPortNumber() const { return m_port; }
    // Everything before "?" or "#"; "/" when the URL names no path.
    const std::wstring& GetUrlPath() const { return m_path; }
    // "?" and what follows up to any "#"; empty when there is no query.
    const std::wstring& GetQuery() const { return m_query; }
    // The request target: path and query.
    std::wstring GetPathAndQuery() const { return m_path + m_query; }

private:
    EUrlScheme m_scheme = US_Unknown;
    std::wstring m_host;
    std::uint16_t m_port = 0;
    std::wstring m_path;
    std::wstring m_query;
};

} // namespace Cxx::Network
