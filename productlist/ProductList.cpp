#include "productlist/ProductList.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "productlist/Catalogue.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <boost/algorithm/string/case_conv.hpp>

#include <climits>
#include <cstdio>

namespace ProductList {

namespace {

using boost::property_tree::ptree;
using Cxx::Core::Utils::VersionNumber;

// Every part must be a non-negative signed 32-bit number; a failed parse gives 0xFFFFFFFF parts.
bool IsValidVersion(const VersionNumber& version)
{
    for (const std::uint32_t part : {version.major, version.minor, version.build, version.revision}) {
        if (part > static_cast<std::uint32_t>(INT_MAX)) {
            return false;
        }
    }
    return true;
}

bool IsAtLeast(const std::string& version, const std::string& minimum)
{
    VersionNumber installed;
    VersionNumber required;
    installed.Parse(version);
    required.Parse(minimum);
    return IsValidVersion(installed) && IsValidVersion(required) && installed >= required;
}

std::wstring ExpandEnvironmentChecked(const std::wstring& text, bool& expanded)
{
    expanded = false;
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return text;
    }
    std::wstring buffer(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
    if (written == 0 || written > needed) {
        return text;
    }
    buffer.resize(written - 1);
    expanded = true;
    return buffer;
}

std::wstring ExpandProgramDataPath(const std::string& utf8)
{
    std::wstring path;
    if (!Cxx::Core::Utils::Utf8ToWide(utf8, path)) {
        return {};
    }
    bool expanded = false;
    std::wstring result = ExpandEnvironmentChecked(path, expanded);
    if (expanded) {
        path = result;
    }
    // Where the variable is not set, the common application-data folder stands in.
    static const std::wstring variable = L"%programdata%";
    const auto at = boost::algorithm::to_lower_copy(path).find(variable);
    if (at != std::wstring::npos) {
        wchar_t folder[MAX_PATH] = {};
        const bool known = SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder));
        path.replace(at, variable.size(), known ? folder : L"");
    }
    return path;
}

std::int64_t DirectoryCreationTime(const std::wstring& dir)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(dir.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return static_cast<std::int64_t>(Cxx::Core::Utils::FileTimeToUnixTime(data.ftCreationTime));
}

std::wstring ReadInstallationValue(const std::wstring& keyPath, const wchar_t* valueName)
{
    return keyPath.empty() ? std::wstring() : ReadRegistryTextAnyView(keyPath, valueName);
}

} // namespace

CProductList::CProductList(std::wstring listFile, std::string builtInKey)
    : m_catalogue(LoadCatalogue(listFile, builtInKey, Cxx::Core::Utils::GetModuleDirectory()))
{
}

std::vector<const ptree*> CProductList::FindEntries(const std::string& code) const
{
    std::vector<const ptree*> entries;
    const auto applications = m_catalogue.get_child_optional("Applications");
    if (!applications) {
        return entries;
    }
    for (const auto& [key, entry] : *applications) {
        // An entry without a code is passed over, not a reason to find nothing.
        const auto entryCode = entry.find("ProductCode");
        if (entryCode != entry.not_found() && entryCode->second.data() == code) {
            entries.push_back(&entry);
        }
    }
    return entries;
}

std::optional<CProductList::FoundLocation> CProductList::FindLocation(const std::string& code) const
{
    for (const ptree* entry : FindEntries(code)) {
        if (entry->empty()) {
            continue;
        }
        const auto location = ResolveLocation(*entry);
        LocationInfo info;
        if (location && location->IsFound() && location->GetInfo(info)) {
            return FoundLocation{entry, std::move(info)};
        }
    }
    return std::nullopt;
}

bool CProductList::ReadProductInfo(const ptree& entry, ProductInfo& info) const
{
    const auto location = ResolveLocation(entry);
    LocationInfo where;
    if (!location || !location->IsFound() || !location->GetInfo(where)) {
        return false;
    }
    const auto codeNode = entry.find("ProductCode");
    if (codeNode == entry.not_found() || codeNode->second.data().empty()) {
        return false;
    }
    std::string vendor;
    std::string productName;
    std::string programData;
    if (!GetEntryText(entry, "Vendor", vendor) || !GetEntryText(entry, "ProductName", productName)
        || !GetEntryText(entry, "ProgramDataPath", programData)) {
        return false;
    }

    ProductInfo record;
    record.code = codeNode->second.data();
    record.installDir = where.dir;
    record.mainExecutable = Cxx::Core::Utils::WideToUtf8String(where.exeName);
    record.registryKey = where.keyPath;
    record.version = Cxx::Core::Utils::WideToCodePage(
        Cxx::Core::Utils::GetFileVersionString(L"ProductVersion", where.exePath), CP_THREAD_ACP);
    record.installTime = DirectoryCreationTime(where.dir);
    record.vendor = vendor;
    record.productName = productName;
    record.programDataPath = ExpandProgramDataPath(programData);
    // The per-user folder exists only where both its parts are known.
    const std::wstring sid = record.programDataPath.empty() ? std::wstring() : Cxx::Core::Utils::GetLoggedOnUserSid();
    if (!sid.empty()) {
        record.userDataPath = record.programDataPath + L"\\" + sid;
    }
    record.trackId = ReadInstallationValue(where.keyPath, L"TID");
    const std::wstring buildId = ReadInstallationValue(where.keyPath, L"BID");
    if (!buildId.empty()) {
        record.buildId = buildId;
    }
    const auto minimum = entry.find("MinimumSupportedVersion");
    if (minimum != entry.not_found()) {
        record.isSupported = IsAtLeast(record.version, minimum->second.data());
    }
    info = std::move(record);
    return true;
}

bool CProductList::IsProductInstalled(std::string code)
{
    try {
        return FindLocation(code).has_value();
    } catch (const std::exception&) {
        // Catalogue queries answer "not found" rather than throw.
        return false;
    }
}

bool CProductList::GetProductInfo(const std::string& code, ProductInfo& info)
{
    try {
        for (const ptree* entry : FindEntries(code)) {
            ProductInfo record;
            if (!entry->empty() && ReadProductInfo(*entry, record)) {
                record.installSource = GetInstallSource(code);
                info = std::move(record);
                return true;
            }
        }
    } catch (const std::exception&) {
        // Catalogue queries answer "not found" rather than throw.
    }
    return false;
}

void CProductList::GetProducts(std::vector<ProductInfo>& products, bool supportedOnly)
{
    try {
        const std::wstring source = GetInstallSource(std::string());
        const auto applications = m_catalogue.get_child_optional("Applications");
        if (!applications) {
            return;
        }
        for (const auto& [key, entry] : *applications) {
            ProductInfo record;
            if (ReadProductInfo(entry, record) && (!supportedOnly || record.isSupported)) {
                record.installSource = source;
                products.push_back(std::move(record));
            }
        }
    } catch (const std::exception&) {
        // What was found before the failure is kept.
    }
}

void CProductList::CollectProducts(std::map<std::string, ProductInfo>& products)
{
    std::vector<ProductInfo> found;
    GetProducts(found, false);
    for (auto& record : found) {
        products.emplace(record.code, std::move(record));
    }
}

bool CProductList::LaunchProduct(const std::string& code, const std::wstring& parameters)
{
    try {
        const auto found = FindLocation(code);
        if (!found) {
            return false;
        }
        // The full path, so the shell never picks another program of that name.
        const HINSTANCE result = ::ShellExecuteW(nullptr, nullptr, found->info.exePath.c_str(),
                                                 parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOW);
        return reinterpret_cast<INT_PTR>(result) > 32;
    } catch (const std::exception&) {
        // Catalogue queries answer "not started" rather than throw.
        return false;
    }
}

bool CProductList::IsSupportedVersion(const std::string& code)
{
    try {
        const auto found = FindLocation(code);
        if (!found) {
            return false;
        }
        const auto minimum = found->entry->find("MinimumSupportedVersion");
        if (minimum == found->entry->not_found()) {
            return false;
        }
        return IsAtLeast(GetFileVersionText(found->info.exePath), minimum->second.data());
    } catch (const std::exception&) {
        // Catalogue queries answer "not supported" rather than throw.
        return false;
    }
}

std::wstring CProductList::GetInstallSource(const std::string& code)
{
    try {
        const auto applications = m_catalogue.get_child_optional("Applications");
        if (!applications) {
            return {};
        }
        for (const auto& [key, entry] : *applications) {
            ProductInfo record;
            if (!ReadProductInfo(entry, record) || (!code.empty() && record.code != code)) {
                continue;
            }
            const std::wstring source = ReadInstallationValue(record.registryKey, L"OSOURCE");
            if (!source.empty()) {
                return source;
            }
        }
    } catch (const std::exception&) {
        // Catalogue queries answer "none" rather than throw.
    }
    return {};
}

std::string GetFileVersionText(const std::wstring& file)
{
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) {
        return {};
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        return {};
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    // The block must hold a whole fixed record before any field is read.
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr
        || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
        return {};
    }
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

} // namespace ProductList
