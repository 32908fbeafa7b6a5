#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Cxx::Network {

// Adds the TLS versions the running Windows supports to the current user's
// "SecureProtocols" Internet setting while it lives. Holders in one process
// share one reference count: the last one gone puts back the value the user had.
class CTlsValidator {
public:
    using VersionProbe = std::function<bool(std::uint32_t& major, std::uint32_t& minor)>;

    static constexpr const wchar_t* InternetSettingsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

    // Touches no registry. keyPath (under HKEY_CURRENT_USER) and the version
    // probe can be replaced for tests.
    explicit CTlsValidator(std::wstring keyPath = InternetSettingsKey, VersionProbe probe = SystemVersion);
    CTlsValidator(const CTlsValidator&) = delete;
    CTlsValidator& operator=(const CTlsValidator&) = delete;
    ~CTlsValidator();

    // True when the setting holds, or now holds, every bit the system needs;
    // false when the key or the Windows version cannot be read or the value
    // cannot be written.
    bool EnsureSecureProtocols();

    // The bits needed on a Windows of this version.
    static std::uint32_t RequiredBits(std::uint32_t major, std::uint32_t minor);
    // The real version of the running Windows.
    static bool SystemVersion(std::uint32_t& major, std::uint32_t& minor);

    // Puts back every setting still held, for a process that ends while
    // requests it gave up on may still run (or never end): their holders'
    // own ends then change nothing.
    static void RestoreHeldSettings();

private:
    std::wstring m_keyPath;
    VersionProbe m_probe;
    bool m_holding = false;
    std::uint64_t m_generation = 0;
};

} // namespace Cxx::Network
