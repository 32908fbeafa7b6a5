#include "productlist/tests/TestSupport.h"

#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"
#include "cxx/security/crypt/tests/TestCipher.h"
#include "productlist/Catalogue.h"

#include <boost/property_tree/json_parser.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ProductList::Testing {

namespace {

void Check(LONG status, const char* what)
{
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error(std::string(what) + " failed with " + std::to_string(status));
    }
}

} // namespace

std::wstring UniqueName(const std::wstring& stem)
{
    static std::atomic<unsigned> counter{0};
    return stem + L" " + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

std::string Narrow(const std::wstring& wide)
{
    return Cxx::Core::Utils::WideToUtf8String(wide);
}

CTempFolder::CTempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("no temporary folder");
    }
    m_path = std::wstring(temp) + UniqueName(L"kv catalogue");
    std::filesystem::create_directories(m_path);
}

CTempFolder::~CTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

CMachineKey::CMachineKey(std::wstring path, ERegistryView view)
    : m_path(std::move(path)), m_viewFlag(view == ERegistryView::View64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)
{
    Cxx::Core::CRegKey key;
    Check(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_viewFlag, nullptr,
                            key.Put(), nullptr),
          "RegCreateKeyExW");
}

CMachineKey::~CMachineKey()
{
    Cxx::Core::CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_ALL_ACCESS | m_viewFlag, key.Put()) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(key.Get(), nullptr);
        key.Reset();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), m_viewFlag, 0);
    }
}

void CMachineKey::SetText(const std::wstring& name, const std::wstring& value, DWORD type)
{
    Cxx::Core::CRegKey key;
    Check(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_SET_VALUE | m_viewFlag, key.Put()), "RegOpenKeyExW");
    Check(::RegSetValueExW(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
          "RegSetValueExW");
}

void CMachineKey::SetDword(const std::wstring& name, DWORD value)
{
    Cxx::Core::CRegKey key;
    Check(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_SET_VALUE | m_viewFlag, key.Put()), "RegOpenKeyExW");
    Check(::RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
          "RegSetValueExW");
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + Narrow(path));
    }
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteEncryptedText(const std::wstring& path, const std::string& text)
{
    WriteBytes(path, Cxx::Security::Testing::EncryptListText(text, catalogueKey));
}

void WriteListFile(const std::wstring& path, const std::vector<boost::property_tree::ptree>& entries)
{
    boost::property_tree::ptree applications;
    for (const auto& entry : entries) {
        applications.push_back({"", entry});
    }
    boost::property_tree::ptree list;
    list.add_child("Applications", applications);
    std::ostringstream text;
    boost::property_tree::write_json(text, list);
    WriteEncryptedText(path, text.str());
}

std::wstring ProbePath()
{
    return Cxx::Core::Utils::GetModuleDirectory() + L"\\kv_productlist_probe.exe";
}

std::wstring InstallProbe(const std::wstring& dir, const std::wstring& exeName)
{
    const std::wstring target = dir + L"\\" + exeName;
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(ProbePath(), target, std::filesystem::copy_options::overwrite_existing);
    return target;
}

boost::property_tree::ptree Entry(const std::string& code, const std::string& programDataPath)
{
    boost::property_tree::ptree entry;
    entry.put("ProductCode", code);
    entry.put("Vendor", "Vellix");
    entry.put("ProductName", "Test " + code);
    entry.put("ProgramDataPath", programDataPath);
    return entry;
}

} // namespace ProductList::Testing
