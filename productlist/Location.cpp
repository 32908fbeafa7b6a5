#include "productlist/Location.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "productlist/Catalogue.h"

#include <windows.h>

#include <boost/algorithm/string/predicate.hpp>

#include <fstream>

namespace ProductList {

const std::wstring uninstallKeyPrefix = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring uninstallKeyPrefix32 = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring appPathsKeyPrefix = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::wstring ReadRegistryText(const std::wstring& keyPath, const std::wstring& valueName, ERegistryView view)
{
    using namespace Cxx::Core::Utils;
    std::wstring text;
    ReadRegistryString(HKEY_LOCAL_MACHINE, keyPath, valueName, text,
                       view == ERegistryView::View64 ? RegistryView64 : RegistryView32);
    return text;
}

std::wstring ReadRegistryTextAnyView(const std::wstring& keyPath, const std::wstring& valueName)
{
    std::wstring text = ReadRegistryText(keyPath, valueName, ERegistryView::View64);
    if (text.empty()) {
        text = ReadRegistryText(keyPath, valueName, ERegistryView::View32);
    }
    return text;
}

bool PathIsFile(const std::wstring& path)
{
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsBareFileName(const std::wstring& name)
{
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name.find(L"..") == std::wstring::npos;
}

namespace {

bool GetEntryWideText(const boost::property_tree::ptree& node, const std::string& key, std::wstring& text)
{
    std::string narrow;
    if (!GetEntryText(node, key, narrow)) {
        return false;
    }
    text.clear();
    return Cxx::Core::Utils::Utf8ToWide(narrow, text);
}

// The uninstaller's path without the quotes (and anything after them) that
// installers put around it.
std::wstring UnquotedCommand(const std::wstring& command)
{
    if (command.empty() || command.front() != L'"') {
        return command;
    }
    const auto closing = command.find(L'"', 1);
    return command.substr(1, closing == std::wstring::npos ? std::wstring::npos : closing - 1);
}

bool OpensForReading(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
    return file.is_open() && file.good();
}

} // namespace

class CLocationBase : public ILocation {
public:
    bool IsFound() const override { return m_found; }
    bool GetInfo(LocationInfo& info) const override
    {
        if (!m_found) {
            return false;
        }
        info = m_info;
        return true;
    }

protected:
    void SetFound(LocationInfo info)
    {
        m_info = std::move(info);
        m_found = true;
    }

private:
    bool m_found = false;
    LocationInfo m_info;
};

class CUninstallLocation : public CLocationBase {
public:
    explicit CUninstallLocation(const boost::property_tree::ptree& node)
    {
        std::wstring keyName;
        std::wstring exeName;
        if (!GetEntryWideText(node, "UninstallKeyName", keyName) || keyName.empty()
            || !GetEntryWideText(node, "MainExecutable", exeName) || !IsBareFileName(exeName)) {
            return;
        }
        const std::wstring plainKey = uninstallKeyPrefix + keyName;
        std::wstring keyPath = plainKey;
        std::wstring uninstallString = ReadRegistryText(keyPath, L"UninstallString", ERegistryView::View64);
        if (uninstallString.empty()) {
            keyPath = uninstallKeyPrefix32 + keyName;
            uninstallString = ReadRegistryText(keyPath, L"UninstallString", ERegistryView::View32);
        }
        if (uninstallString.empty()) {
            return;
        }
        std::wstring dir;
        for (const wchar_t* valueName : {L"InstallLocation", L"InstallPath", L"INSTDIR"}) {
            dir = ReadRegistryTextAnyView(plainKey, valueName);
            if (!dir.empty()) {
                break;
            }
        }
        if (dir.empty()) {
            const std::wstring uninstaller = UnquotedCommand(uninstallString);
            const auto slash = uninstaller.find_last_of(L'\\');
            if (slash == std::wstring::npos) {
                return;
            }
            dir = uninstaller.substr(0, slash);
        }
        const std::wstring exePath = dir + L"\\" + exeName;
        if (PathIsFile(exePath) && OpensForReading(exePath)) {
            SetFound({dir, exeName, keyPath, exePath});
        }
    }
};

class CPathLocation : public CLocationBase {
public:
    explicit CPathLocation(const boost::property_tree::ptree& node)
    {
        std::wstring name;
        if (!GetEntryWideText(node, "Path", name) || name.empty()) {
            return;
        }
        const std::wstring raw = ReadRegistryTextAnyView(appPathsKeyPrefix + name, L"");
        wchar_t expanded[MAX_PATH + 1] = {};
        const DWORD needed = ::ExpandEnvironmentStringsW(raw.c_str(), expanded, MAX_PATH + 1);
        // A path that does not fit is a failure, never a cut-off path.
        if (needed == 0 || needed > MAX_PATH + 1) {
            return;
        }
        const std::wstring path = expanded;
        const auto slash = path.find_last_of(L'\\');
        if (path.empty() || slash == std::wstring::npos || !PathIsFile(path)) {
            return;
        }
        SetFound({path.substr(0, slash), path.substr(slash + 1), std::wstring(), path});
    }
};

class CMainDirKeyLocation : public CLocationBase {
public:
    explicit CMainDirKeyLocation(const boost::property_tree::ptree& node)
    {
        std::wstring dirKeyName;
        std::wstring dirValueName;
        std::wstring exeName;
        if (!GetEntryWideText(node, "MainDirKeyName", dirKeyName) || !GetEntryWideText(node, "MainDirValueName", dirValueName)
            || !GetEntryWideText(node, "MainExecutable", exeName) || !IsBareFileName(exeName)) {
            return;
        }
        std::wstring idKeyName;
        std::wstring idValueName;
        GetEntryWideText(node, "ProductIDKeyName", idKeyName);
        GetEntryWideText(node, "ProductIDValueName", idValueName);

        std::wstring keyPath;
        if (!idKeyName.empty() && !idValueName.empty()) {
            std::wstring id = ReadRegistryText(idKeyName, idValueName, ERegistryView::View64);
            if (!id.empty()) {
                keyPath = uninstallKeyPrefix + id;
            } else {
                id = ReadRegistryText(idKeyName, idValueName, ERegistryView::View32);
                if (!id.empty()) {
                    keyPath = uninstallKeyPrefix32 + id;
                }
            }
        }
        const std::wstring dir = ReadRegistryTextAnyView(dirKeyName, dirValueName);
        if (dir.empty()) {
            return;
        }
        const std::wstring exePath = dir + L"\\" + exeName;
        if (PathIsFile(exePath)) {
            SetFound({dir, exeName, keyPath, exePath});
        }
    }
};

std::unique_ptr<ILocation> ResolveLocation(const boost::property_tree::ptree& entry)
{
    try {
        for (const auto& [key, node] : entry) {
            if (boost::algorithm::iequals(key, "UninstallLocation")) {
                return std::make_unique<CUninstallLocation>(node);
            }
            if (boost::algorithm::iequals(key, "PathLocation")) {
                return std::make_unique<CPathLocation>(node);
            }
            if (boost::algorithm::iequals(key, "MainDirLocation")) {
                return std::make_unique<CMainDirKeyLocation>(node);
            }
        }
    } catch (const std::exception&) {
        // A location that cannot be made counts as none.
    }
    return nullptr;
}

} // namespace ProductList
