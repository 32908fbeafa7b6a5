#pragma once

#include "productlist/Location.h"

#include <windows.h>

#include <boost/property_tree/ptree.hpp>

#include <string>
#include <vector>

namespace ProductList::Testing {

// A name no other test process in the prefix uses at the same time.
std::wstring UniqueName(const std::wstring& stem);
std::string Narrow(const std::wstring& wide);

// A fresh folder in the temporary folder, removed with its content.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// A key under HKEY_LOCAL_MACHINE in one registry view, removed with its
// subkeys and values when the object goes.
class CMachineKey {
public:
    CMachineKey(std::wstring path, ERegistryView view);
    ~CMachineKey();
    CMachineKey(const CMachineKey&) = delete;
    CMachineKey& operator=(const CMachineKey&) = delete;

    void SetText(const std::wstring& name, const std::wstring& value, DWORD type = REG_SZ);
    void SetDword(const std::wstring& name, DWORD value);
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    REGSAM m_viewFlag;
};

// Writes {"Applications": [entries...]} encrypted with the catalogue key.
void WriteListFile(const std::wstring& path, const std::vector<boost::property_tree::ptree>& entries);
void WriteEncryptedText(const std::wstring& path, const std::string& text);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);

// The versioned test program (file version 3.4.5.7, "ProductVersion" 3.4.5.6).
std::wstring ProbePath();
// Copies the test program into dir under the given name; returns its path.
std::wstring InstallProbe(const std::wstring& dir, const std::wstring& exeName);

// An entry with code, vendor, product name and data path filled in.
boost::property_tree::ptree Entry(const std::string& code, const std::string& programDataPath = "");

} // namespace ProductList::Testing
