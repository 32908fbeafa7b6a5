#include "cxx/misc/OpenInDefaultBrowser.h"

#include "cxx/core/SystemUtils.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <boost/algorithm/string.hpp>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string_view>
#include <vector>

namespace Cxx::Misc {

namespace {

using Core::Utils::ReadRegistryString;

const wchar_t kUrlAssociations[] = L"\\Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
const wchar_t kIExplorePath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
// The longest URL the browser opens.
const std::size_t maxUrlLength = 2083;

std::wstring PercentEncoded(wchar_t c)
{
    wchar_t text[8] = {};
    std::swprintf(text, std::size(text), L"%%%02X", static_cast<unsigned>(c));
    return text;
}

// UrlEscapeW leaves these alone, yet inside a query value they would end
// the value or start another parameter (or another placeholder).
std::wstring EscapeQueryDelimiters(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text) {
        result += std::wstring_view(L"&;=+#?{}").find(c) != std::wstring_view::npos ? PercentEncoded(c)
                                                                                     : std::wstring(1, c);
    }
    return result;
}

std::optional<std::wstring> EscapeValue(const std::wstring& value)
{
    std::vector<wchar_t> buffer(value.size() * 2 + 1, L'\0');
    // The second try has the size that the first one asked for.
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        const HRESULT hr =
            ::UrlEscapeW(value.c_str(), buffer.data(), &size, URL_ESCAPE_PERCENT | URL_ESCAPE_SEGMENT_ONLY);
        if (SUCCEEDED(hr)) {
            return EscapeQueryDelimiters(buffer.data());
        }
        if (hr != E_POINTER || size < buffer.size()) {
            break;
        }
        buffer.assign(size + 1, L'\0');
    }
    return std::nullopt;
}

bool HasPlaceholder(const std::wstring& piece)
{
    return piece.find(L"{{") != std::wstring::npos || piece.find(L"}}") != std::wstring::npos;
}

std::wstring DropUnfilledQueryPieces(const std::wstring& url)
{
    const std::size_t question = url.find(L'?');
    if (question == std::wstring::npos) {
        return url;
    }
    // The fragment belongs to no query piece: it stays even when the last piece goes.
    const std::size_t hash = url.find(L'#', question);
    const std::wstring fragment = hash == std::wstring::npos ? std::wstring() : url.substr(hash);
    const std::wstring query = url.substr(question + 1, hash == std::wstring::npos ? hash : hash - question - 1);

    std::vector<std::wstring> pieces;
    boost::algorithm::split(pieces, query, [](wchar_t c) { return c == L'&'; });
    std::erase_if(pieces, HasPlaceholder);
    const std::wstring base = url.substr(0, question);
    return (pieces.empty() ? base : base + L"?" + boost::algorithm::join(pieces, L"&")) + fragment;
}

std::wstring TrimmedLeft(const std::wstring& text)
{
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

bool IsSchemeName(const std::wstring& text)
{
    return !text.empty() && std::iswalpha(text.front()) && text.front() < 0x80 &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) {
               return c < 0x80 && (std::iswalnum(c) || c == L'+' || c == L'-' || c == L'.');
           });
}

// "name:8080", "name:8080/path": a host and its port, not a scheme.
bool StartsWithPort(const std::wstring& text)
{
    const std::size_t end = std::min(text.find_first_of(L"/?#"), text.size());
    return end > 0 && std::all_of(text.begin(), text.begin() + end, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// Only web links leave the program: given file:, ms-settings: or a path, the
// shell would open local files or start programs. A link without a scheme is
// taken as http. A quote or a blank would end the link's argument on a
// command line and let the rest pass as options of the browser's own, and so
// would backslashes at its end, which turn the closing quote of a "%1" into a
// quote of the argument. None that is longer than the browser takes.
std::optional<std::wstring> WebUrl(const std::wstring& url)
{
    std::wstring target = TrimmedLeft(url);
    const std::size_t colon = target.find(L':');
    const bool web = colon != std::wstring::npos && (boost::algorithm::iequals(target.substr(0, colon), L"http") ||
                                                     boost::algorithm::iequals(target.substr(0, colon), L"https"));
    if (!web && colon != std::wstring::npos && IsSchemeName(target.substr(0, colon)) &&
        !StartsWithPort(target.substr(colon + 1))) {
        return std::nullopt;
    }
    if (!web) {
        target = L"http://" + target;
    }
    const std::size_t kept = target.find_last_not_of(L'\\') + 1;
    std::wstring result;
    for (std::size_t i = 0; i < target.size(); ++i) {
        const wchar_t c = target[i];
        result += c <= L' ' || c == L'"' || c == 0x7F || i >= kept ? PercentEncoded(c) : std::wstring(1, c);
    }
    if (result.size() > maxUrlLength) {
        return std::nullopt;
    }
    return result;
}

// The command with the URL in place of each "%1", or appended in quotes.
std::wstring BrowserCommandLine(const std::wstring& command, const std::wstring& url)
{
    if (command.find(L"%1") == std::wstring::npos) {
        return command + L" \"" + url + L"\"";
    }
    return boost::algorithm::replace_all_copy(command, L"%1", url);
}

// App Paths hold a bare path: unquoted, "C:\Program Files\..." would run "C:\Program".
std::wstring QuotedPath(const std::wstring& path)
{
    if (path.empty() || path.front() == L'"' || path.find_first_of(L" \t") == std::wstring::npos) {
        return path;
    }
    return L"\"" + path + L"\"";
}

std::wstring ReadText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                      Core::Utils::ERegistryView view)
{
    std::wstring text;
    ReadRegistryString(root, keyPath, valueName, text, view);
    return text;
}

} // namespace

bool CBrowserLaunchSystem::ShellOpen(const std::wstring& target)
{
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

std::wstring CBrowserLaunchSystem::SessionUserSid()
{
    return Core::Utils::GetLoggedOnUserSid();
}

bool CBrowserLaunchSystem::StartProcess(const std::wstring& commandLine)
{
    // An empty path hands the command line over as it stands.
    return Core::Utils::Execute(L"", commandLine, false);
}

std::wstring FillUrlTemplate(const std::wstring& url, const CPresetParams& params)
{
    std::wstring filled = url;
    for (const auto& [name, entry] : params.GetEntries()) {
        const std::wstring placeholder = L"{{" + name + L"}}";
        if (filled.find(placeholder) == std::wstring::npos) {
            continue;
        }
        std::wstring value = entry.value;
        if (entry.escape && !value.empty()) {
            const auto escaped = EscapeValue(value);
            // Put in unescaped, the value could break the link apart; left
            // unfilled, its query piece is dropped below.
            if (!escaped) {
                continue;
            }
            value = *escaped;
        }
        boost::algorithm::replace_all(filled, placeholder, value);
    }
    return DropUnfilledQueryPieces(filled);
}

COpenInDefaultBrowser::COpenInDefaultBrowser() : COpenInDefaultBrowser(std::make_shared<CBrowserLaunchSystem>()) {}

COpenInDefaultBrowser::COpenInDefaultBrowser(std::shared_ptr<IBrowserLaunchSystem> system)
    : m_system(std::move(system))
{
}

bool COpenInDefaultBrowser::Open(const std::wstring& url, const CPresetParams& params)
{
    return Launch(FillUrlTemplate(url, params));
}

bool COpenInDefaultBrowser::Launch(const std::wstring& url)
{
    const std::optional<std::wstring> target = url.empty() ? std::nullopt : WebUrl(url);
    if (!target) {
        return false;
    }
    if (m_system->ShellOpen(*target)) {
        return true;
    }
    const bool https = boost::algorithm::istarts_with(*target, L"https:");
    const std::wstring command = TrimmedLeft(BrowserCommand(https ? L"https" : L"http"));
    return !command.empty() && m_system->StartProcess(BrowserCommandLine(command, *target));
}

std::wstring COpenInDefaultBrowser::BrowserCommand(const std::wstring& scheme)
{
    DWORD major = 0, minor = 0, productType = 0, suiteMask = 0;
    if (!Core::Utils::GetWindowsVersion(major, minor, productType, suiteMask)) {
        return {};
    }
    std::wstring commandKey;
    if (major > 5) {
        // The user at the screen chose the browser, whichever account this process runs under.
        const std::wstring sid = m_system->SessionUserSid();
        if (!sid.empty()) {
            const std::wstring progId = ReadText(HKEY_USERS, sid + kUrlAssociations + scheme + L"\\UserChoice",
                                                 L"ProgId", Core::Utils::RegistryView64);
            if (!progId.empty()) {
                commandKey = progId + L"\\shell\\open\\command";
            }
        }
    }
    if (commandKey.empty()) {
        commandKey = scheme + L"\\shell\\open\\command";
    }
    const std::wstring command = ReadText(HKEY_CLASSES_ROOT, commandKey, L"", Core::Utils::RegistryView64);
    if (!command.empty()) {
        return command;
    }
    const std::wstring iexplore = ReadText(HKEY_LOCAL_MACHINE, kIExplorePath, L"", Core::Utils::RegistryViewDefault);
    return iexplore.empty() ? std::wstring() : QuotedPath(Core::Utils::ExpandEnvironment(iexplore));
}

} // namespace Cxx::Misc
