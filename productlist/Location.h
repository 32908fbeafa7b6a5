#pragma once

#include <boost/property_tree/ptree.hpp>

#include <memory>
#include <string>

namespace ProductList {

struct LocationInfo {
    std::wstring dir;     // as found; a registry value keeps its trailing backslash
    std::wstring exeName; // file name of the main executable
    std::wstring keyPath; // under HKEY_LOCAL_MACHINE; may be empty
    std::wstring exePath; // full path of the main executable
};

// Where one catalogue entry is installed, resolved once against the machine.
class ILocation {
public:
    virtual ~ILocation() = default;
    virtual bool IsFound() const = 0;
    // Leaves info unchanged when not found.
    virtual bool GetInfo(LocationInfo& info) const = 0;
};

// The entry's first child named (in any letter case) "UninstallLocation",
// "PathLocation" or "MainDirLocation", resolved; null when there is none.
std::unique_ptr<ILocation> ResolveLocation(const boost::property_tree::ptree& entry);

enum class ERegistryView { View64, View32 };

extern const std::wstring uninstallKeyPrefix;
extern const std::wstring uninstallKeyPrefix32;
extern const std::wstring appPathsKeyPrefix;

// A string value under HKEY_LOCAL_MACHINE in one view; empty when the key or a
// string value is missing (an empty value name reads the default value).
std::wstring ReadRegistryText(const std::wstring& keyPath, const std::wstring& valueName, ERegistryView view);
// The 64-bit view's value, else the 32-bit view's.
std::wstring ReadRegistryTextAnyView(const std::wstring& keyPath, const std::wstring& valueName);

// An existing file that is not a directory.
bool PathIsFile(const std::wstring& path);

// A file name without any folder part, so it stays inside the product's folder.
bool IsBareFileName(const std::wstring& name);

} // namespace ProductList
