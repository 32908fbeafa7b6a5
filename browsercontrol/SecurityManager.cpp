#include "browsercontrol/SecurityManager.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "cxx/gui/Com.h"

#include <mshtmdid.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace BrowserControl {

using Cxx::Core::CComPtr;
using Cxx::GUI::QueryInterfaceOf;

namespace {

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return {};
    }
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// The folder part of a full path in its long form, as far down as it exists, so that a short
// 8.3 spelling names the same folder as the long one.
std::wstring LongFolder(const std::wstring& path)
{
    const std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    for (std::size_t known = folder.size(); known >= 3; known = folder.rfind(L'\\', known - 2) + 1) {
        const std::wstring head = folder.substr(0, known);
        const DWORD size = ::GetLongPathNameW(head.c_str(), nullptr, 0);
        if (size == 0) {
            continue;
        }
        std::wstring longForm(size, L'\0');
        longForm.resize(::GetLongPathNameW(head.c_str(), longForm.data(), size));
        if (longForm.empty()) {
            continue;
        }
        if (longForm.back() != L'\\') {
            longForm += L'\\';
        }
        return longForm + folder.substr(known);
    }
    return folder;
}

// The byte of the percent escape at 'at'; -1 when none starts there.
int EscapedByte(const std::wstring& text, std::size_t at)
{
    if (at + 2 >= text.size() || text[at] != L'%') {
        return -1;
    }
    const int high = Cxx::Core::Utils::HexDigitValue(text[at + 1]);
    const int low = high >= 0 ? Cxx::Core::Utils::HexDigitValue(text[at + 2]) : -1;
    return low >= 0 ? high * 16 + low : -1;
}

// A text with its percent escapes decoded as UTF-8 or in the code page, beside letters written
// raw; empty when the escapes are no UTF-8 text. A '%' that starts no escape stands for itself.
std::wstring DecodeEscapes(const std::wstring& encoded, unsigned codePage)
{
    std::wstring decoded;
    std::string escaped;
    for (std::size_t at = 0; at <= encoded.size(); ++at) {
        if (const int byte = EscapedByte(encoded, at); byte >= 0) {
            escaped += static_cast<char>(byte);
            at += 2;
            continue;
        }
        std::wstring text;
        if (codePage != CP_UTF8) {
            text = Cxx::Core::Utils::CodePageToWide(escaped, codePage);
        } else if (!Cxx::Core::Utils::Utf8ToWide(escaped, text)) {
            return {};
        }
        decoded += text;
        escaped.clear();
        if (at < encoded.size()) {
            decoded += encoded[at];
        }
    }
    return decoded;
}

// Where the path of "file:///C:/...", "file://localhost/C:/..." or the legacy "file://C:\..."
// starts; npos for any other host.
std::size_t FileUrlPathStart(const std::wstring& url)
{
    for (const std::wstring prefix : {L"file:///", L"file://localhost/", L"file://"}) {
        if (StartsWithNoCase(url, prefix)) {
            return prefix.size();
        }
    }
    return std::wstring::npos;
}

bool IsControl(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The canonical form of an absolute drive path; empty for anything else, network paths and URLs included.
std::wstring LocalPath(std::wstring path)
{
    // No file name holds a control character, and a NUL would cut the path short of what the text names.
    if (path.size() < 3 || (path[0] | 0x20) < L'a' || (path[0] | 0x20) > L'z' || path[1] != L':' ||
        (path[2] != L'\\' && path[2] != L'/') || std::any_of(path.begin(), path.end(), IsControl)) {
        return {};
    }
    // Dot segments are resolved as the file system resolves them.
    path = FullPath(path);
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') {
        return {};
    }
    return path;
}

bool SameNoCase(std::wstring_view a, std::wstring_view b)
{
    return !a.empty() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Where the text's spelling of the folder, from the folder's letter 'from' and the text's 'at'
// on, ends; npos when it spells another folder. Separators are '\' or '/'; a letter stands raw
// in any case or, in a URL, as escapes of its UTF-8 or system code-page bytes.
std::size_t FolderSpellingEnd(const std::wstring& folder, std::size_t from, const std::wstring& text, std::size_t at,
                              bool escapes)
{
    while (from < folder.size()) {
        if (folder[from] == L'\\') {
            if (at >= text.size() || (text[at] != L'\\' && text[at] != L'/')) {
                return std::wstring::npos;
            }
            ++from;
            ++at;
            continue;
        }
        const std::size_t width = IS_SURROGATE_PAIR(folder[from], folder[from + 1]) ? 2 : 1;
        const std::wstring_view letter = std::wstring_view(folder).substr(from, width);
        // The lengths of the text's readings that spell the letter: raw, or 1 to 4 escapes.
        std::size_t lengths[5] = {};
        std::size_t readings = 0;
        if (SameNoCase(std::wstring_view(text).substr(at, width), letter)) {
            lengths[readings++] = width;
        }
        std::string bytes;
        for (int byte = escapes ? EscapedByte(text, at) : -1; byte >= 0 && bytes.size() < 4;
             byte = EscapedByte(text, at + 3 * bytes.size())) {
            bytes += static_cast<char>(byte);
            std::wstring utf8;
            if ((Cxx::Core::Utils::Utf8ToWide(bytes, utf8) && SameNoCase(utf8, letter)) ||
                SameNoCase(Cxx::Core::Utils::CodePageToWide(bytes, CP_ACP), letter)) {
                lengths[readings++] = 3 * bytes.size();
            }
        }
        if (readings == 0) {
            return std::wstring::npos;
        }
        from += width;
        // A '%' or an escape that reads more than one way: each reading is tried.
        for (std::size_t other = 1; other < readings; ++other) {
            const std::size_t end = FolderSpellingEnd(folder, from, text, at + lengths[other], escapes);
            if (end != std::wstring::npos) {
                return end;
            }
        }
        at += lengths[0];
    }
    return at;
}

// The file in or below the folder that what follows the folder in a location names, and the
// location's query and fragment: a plain relative name, which no reading decodes or cuts short,
// and in a URL perhaps a query or fragment, through which a text read as a path throughout may
// not leave the folder. Only a file that exists counts: for a missing one the control may try
// the path cut at a '#' of the folder's. It is looked up as the rule reads the location, below
// the folder as held, which each spelling of the folder names; the location's other readings
// may name no existing file elsewhere (NoReadingLeaves).
bool OwnFile(const std::wstring& folder, const std::wstring& rest, bool isUrl, std::wstring& file, std::wstring& tail)
{
    const std::size_t cut = isUrl ? rest.find_first_of(L"?#") : std::wstring::npos;
    if (cut != std::wstring::npos && rest.find_first_of(L"\\/%", cut) != std::wstring::npos) {
        return false;
    }
    const std::wstring name = rest.substr(0, cut);
    if (name.find_first_of(L"#?%:*\"<>|") != std::wstring::npos || std::any_of(rest.begin(), rest.end(), IsControl)) {
        return false;
    }
    file = FullPath(folder + name);
    tail = cut == std::wstring::npos ? std::wstring() : rest.substr(cut);
    return StartsWithNoCase(file, folder) && Cxx::Core::Utils::FileExists(file);
}

} // namespace

std::wstring FileUrl(const std::wstring& path)
{
    if (path.empty()) {
        return {};
    }
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring url = L"file:///";
    for (const wchar_t c : path) {
        if (c == L'\\') {
            url += L'/';
        } else if (c <= L' ' || c == 0x7F || std::wstring_view(L"\"#%&<>[]^`{|}").find(c) != std::wstring_view::npos) {
            url += {L'%', digits[c >> 4], digits[c & 15]};
        } else {
            url += c;
        }
    }
    return url;
}

CLocalPageScope::CLocalPageScope(const std::wstring& pagePath)
{
    const std::wstring page = LocalPath(pagePath);
    if (page.empty()) {
        return;
    }
    m_spellings = {LongFolder(page), page.substr(0, page.rfind(L'\\') + 1)};
    wchar_t shortForm[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(m_spellings.front().c_str(), shortForm, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        m_spellings.emplace_back(shortForm, length);
    }
}

bool CLocalPageScope::Resolve(const std::wstring& text, std::wstring& file, std::wstring& tail) const
{
    if (m_spellings.empty()) {
        return false;
    }
    const bool isUrl = StartsWithNoCase(text, L"file:");
    const std::size_t start = isUrl ? FileUrlPathStart(text) : 0;
    if (start == std::wstring::npos) {
        return false;
    }
    for (const std::wstring& folder : m_spellings) {
        const std::size_t end = FolderSpellingEnd(folder, 0, text, start, isUrl);
        if (end != std::wstring::npos) {
            return OwnFile(m_spellings.front(), text.substr(end), isUrl, file, tail) &&
                   NoReadingLeaves(text.substr(start));
        }
    }
    return false;
}

// The control may read a text's escapes, in a plain path too, or leave them as they stand, and
// take the text whole or cut at a '#' or '?'. A reading that names no existing file opens
// nothing; one that names an existing file must name it inside the folder.
bool CLocalPageScope::NoReadingLeaves(const std::wstring& path) const
{
    for (const std::wstring& reading : {path, DecodeEscapes(path, CP_UTF8), DecodeEscapes(path, CP_ACP)}) {
        for (const std::wstring& cut :
             {reading, reading.substr(0, reading.find(L'#')), reading.substr(0, reading.find(L'?'))}) {
            const std::wstring file = LocalPath(cut);
            if (!file.empty() && Cxx::Core::Utils::FileExists(file) && !StartsWithNoCase(LongFolder(file), m_spellings.front())) {
                return false;
            }
        }
    }
    return true;
}

bool CLocalPageScope::Contains(const wchar_t* url) const noexcept
{
    return !PageUrl(url).empty();
}

std::wstring CLocalPageScope::PageUrl(const wchar_t* location) const noexcept
{
    if (!location) {
        return {};
    }
    try {
        std::wstring file;
        std::wstring tail;
        return Resolve(location, file, tail) ? FileUrl(file) + tail : std::wstring();
    } catch (...) {
        // A URL that cannot be checked is foreign.
        return {};
    }
}

CInternetSecurityManager::CInternetSecurityManager(IUnknown* host, CLocalPageScope scope)
    : CForwardingClientSite(QueryInterfaceOf<IOleClientSite>(host, IID_IOleClientSite)), m_scope(std::move(scope)),
      m_host(host), m_hostServices(QueryInterfaceOf<IServiceProvider>(host, IID_IServiceProvider))
{
}

STDMETHODIMP CInternetSecurityManager::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IServiceProvider)) {
        return Cxx::GUI::HandOut(object, static_cast<IServiceProvider*>(this));
    }
    if (IsEqualIID(iid, IID_IInternetSecurityManager)) {
        return Cxx::GUI::HandOut(object, static_cast<IInternetSecurityManager*>(this));
    }
    if (IsEqualIID(iid, IID_IOleClientSite)) {
        return Cxx::GUI::HandOut(object, static_cast<IOleClientSite*>(this));
    }
    if (IsEqualIID(iid, IID_IDispatch)) {
        return Cxx::GUI::HandOut(object, static_cast<IDispatch*>(this));
    }
    // The rest of the container (in-place site, UI handler ...) is the host's.
    return m_host ? m_host->QueryInterface(iid, object) : E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CInternetSecurityManager::AddRef()
{
    return m_references.Increment();
}

STDMETHODIMP_(ULONG) CInternetSecurityManager::Release()
{
    return m_references.Decrement([this] { delete this; });
}

STDMETHODIMP CInternetSecurityManager::QueryService(REFGUID service, REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IInternetSecurityManager)) {
        return Cxx::GUI::HandOut(object, static_cast<IInternetSecurityManager*>(this));
    }
    return m_hostServices ? m_hostServices->QueryService(service, iid, object) : E_NOINTERFACE;
}

STDMETHODIMP CInternetSecurityManager::SetSecuritySite(IInternetSecurityMgrSite*)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetSecuritySite(IInternetSecurityMgrSite**)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD)
{
    if (!m_scope.Contains(url)) {
        return INET_E_DEFAULT_ACTION;
    }
    if (!zone) {
        return E_POINTER;
    }
    *zone = URLZONE_TRUSTED;
    return S_OK;
}

STDMETHODIMP CInternetSecurityManager::GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy,
                                                        DWORD policySize, BYTE*, DWORD, DWORD, DWORD)
{
    if (action != URLACTION_SCRIPT_RUN || policySize != sizeof(DWORD) || !policy || !m_scope.Contains(url)) {
        return INET_E_DEFAULT_ACTION;
    }
    *reinterpret_cast<DWORD*>(policy) = URLPOLICY_ALLOW;
    return S_OK;
}

STDMETHODIMP CInternetSecurityManager::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::SetZoneMapping(DWORD, LPCWSTR, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetZoneMappings(DWORD, IEnumString**, DWORD)
{
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CInternetSecurityManager::GetTypeInfoCount(UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInternetSecurityManager::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                              EXCEPINFO*, UINT*)
{
    if (id != DISPID_AMBIENT_DLCONTROL) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!result) {
        return E_INVALIDARG;
    }
    ::VariantInit(result);
    result->vt = VT_I4;
    result->lVal = DLCTL_DLIMAGES;
    return S_OK;
}

} // namespace BrowserControl
