#include "cxx/network/TlsValidator.h"

#include "cxx/core/Handle.h"

#include <windows.h>

#include <cwctype>
#include <map>
#include <mutex>

namespace Cxx::Network {

namespace {

constexpr wchar_t ValueName[] = L"SecureProtocols";
constexpr REGSAM AccessMask = KEY_READ | KEY_WRITE;

// What the user had before the first holder of a key came, and whether a
// holder has written since. A new hold period gets a new generation, so a
// holder whose period was ended for it changes nothing when it goes.
struct CSharedSetting {
    int holders = 0;
    bool existed = false;
    DWORD original = 0;
    bool written = false;
    std::uint64_t generation = 0;
};

struct CSharedState {
    std::mutex mutex;
    // Keyed by the lower-case key path: registry paths ignore case.
    std::map<std::wstring, CSharedSetting> settings;
    std::uint64_t nextGeneration = 1;
};

// Never destroyed: holders end during static destruction (the analytics
// client's last hits) and on request threads that outlive their owner.
CSharedState& Shared()
{
    static CSharedState* const state = new CSharedState;
    return *state;
}

std::wstring LowerCase(std::wstring text)
{
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

bool OpenKey(const std::wstring& path, Core::CRegKey& key)
{
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, AccessMask, key.Put()) == ERROR_SUCCESS;
}

bool WriteValue(HKEY key, DWORD value)
{
    return ::RegSetValueExW(key, ValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

// Puts back what the user had, when a holder changed it.
void PutBack(const std::wstring& keyPath, const CSharedSetting& setting)
{
    Core::CRegKey key;
    if (!setting.written || !OpenKey(keyPath, key)) {
        return;
    }
    if (!setting.existed) {
        ::RegDeleteValueW(key.Get(), ValueName);
    } else {
        WriteValue(key.Get(), setting.original);
    }
}

// False when the value exists but cannot be read as a number.
bool ReadValue(HKEY key, bool& exists, DWORD& value)
{
    DWORD type = 0;
    DWORD size = sizeof(value);
    value = 0;
    const LONG result = ::RegQueryValueExW(key, ValueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        exists = false;
        return true;
    }
    exists = true;
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value);
}

} // namespace

CTlsValidator::CTlsValidator(std::wstring keyPath, VersionProbe probe)
    : m_keyPath(LowerCase(std::move(keyPath))), m_probe(std::move(probe))
{
}

std::uint32_t CTlsValidator::RequiredBits(std::uint32_t major, std::uint32_t minor)
{
    constexpr std::uint32_t Tls10 = 0x80, Tls11 = 0x200, Tls12 = 0x800;
    if (major < 6 || (major == 6 && minor == 0)) {
        return Tls10;
    }
    if (major == 6 && minor == 1) {
        return Tls10 | Tls11 | Tls12;
    }
    return Tls11 | Tls12;
}

bool CTlsValidator::SystemVersion(std::uint32_t& major, std::uint32_t& minor)
{
    // GetVersionEx reports what the manifest allows; ntdll tells the truth.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto getVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!getVersion || getVersion(&info) != 0) {
        return false;
    }
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

bool CTlsValidator::EnsureSecureProtocols()
{
    CSharedState& state = Shared();
    std::lock_guard lock(state.mutex);
    Core::CRegKey key;
    if (!OpenKey(m_keyPath, key)) {
        return false;
    }
    bool exists = false;
    DWORD value = 0;
    std::uint32_t major = 0, minor = 0;
    if (!ReadValue(key.Get(), exists, value) || !m_probe || !m_probe(major, minor)) {
        return false;
    }
    const DWORD required = RequiredBits(major, minor);

    auto& shared = state.settings[m_keyPath];
    const bool first = shared.holders == 0;
    bool written = false;
    if (!exists || (value & required) != required) {
        // One write: an intermediate 0 would switch every protocol off.
        if (!WriteValue(key.Get(), value | required)) {
            if (first) {
                state.settings.erase(m_keyPath);
            }
            return false;
        }
        written = true;
    }
    if (first) {
        shared.existed = exists;
        shared.original = value;
        shared.generation = state.nextGeneration++;
    }
    shared.written = shared.written || written;
    if (!m_holding || m_generation != shared.generation) {
        ++shared.holders;
        m_holding = true;
        m_generation = shared.generation;
    }
    return true;
}

CTlsValidator::~CTlsValidator()
{
    if (!m_holding) {
        return;
    }
    CSharedState& state = Shared();
    std::lock_guard lock(state.mutex);
    const auto it = state.settings.find(m_keyPath);
    if (it == state.settings.end() || it->second.generation != m_generation || --it->second.holders > 0) {
        return;
    }
    const CSharedSetting setting = it->second;
    state.settings.erase(it);
    PutBack(m_keyPath, setting);
}

void CTlsValidator::RestoreHeldSettings()
{
    CSharedState& state = Shared();
    std::lock_guard lock(state.mutex);
    for (const auto& [keyPath, setting] : state.settings) {
        PutBack(keyPath, setting);
    }
    state.settings.clear();
}

} // namespace Cxx::Network
