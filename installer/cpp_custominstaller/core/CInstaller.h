#pragma once

#include "cxx/core/Handle.h"
#include "cxx/security/signer/FileSigner.h"
#include "installer/cpp_custominstaller/core/IInstallerFile.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace CustomInstaller::Core {

// Answers of CSignerCheck::Check.
enum ESignatureCheck : int {
    SC_Trusted = 0,
    SC_SignerUnreadable = 1,
    SC_NotTrusted = 2,
};

// Whether a file is signed by the maker. The platform calls are members so
// that tests can replace single ones.
struct CSignerCheck {
    // Only the serial number, issuer and subject are compared.
    Cxx::Core::Utils::SignerCertificateInfo expectedSigner;
    // The major version of the running Windows; false when it cannot be read.
    std::function<bool(DWORD& major)> windowsMajorVersion;
    std::function<bool(const std::wstring& path)> verifySignature;
    std::function<bool(const std::wstring& path, Cxx::Core::Utils::SignerCertificateInfo& signer)> readSigner;

    // The signer of the build configuration, checked through the real platform.
    static CSignerCheck FromBuildConfiguration();

    // ESignatureCheck. Windows XP and older cannot verify current signatures
    // and are taken as trusted; a version that cannot be read is checked.
    int Check(const std::wstring& path) const;
};

// A serial number written as hex digits, most significant byte first ("4B560001",
// also "4b:56:00:01"); empty when the text is not such a number.
std::vector<BYTE> ParseSerialNumber(const std::wstring& text);

// Same serial bytes; issuer and subject equal without regard to case.
bool IsSameSigner(const Cxx::Core::Utils::SignerCertificateInfo& expected,
                  const Cxx::Core::Utils::SignerCertificateInfo& actual);

// The installer file itself and the downloaded bytes behind it.
class CInstallerFile {
public:
    CInstallerFile(std::shared_ptr<std::stringstream> buffer, std::wstring path);

    bool Exists() const;
    // Writes the whole buffer; the buffer is read, not drained.
    bool Write();
    // Opens the file against writers and deleters, then checks it. The file
    // stays open when the check passes.
    int CheckSignature(const CSignerCheck& check);
    void Unlock() { m_lock.Reset(); }
    bool IsLocked() const { return m_lock.IsValid(); }

private:
    std::shared_ptr<std::stringstream> m_buffer;
    std::wstring m_path;
    Cxx::Core::CFileHandle m_lock;
};

class CInstaller : public IInstaller {
public:
    CInstaller(const std::wstring& path, std::shared_ptr<std::stringstream> buffer);
    CInstaller(const std::wstring& path, std::shared_ptr<std::stringstream> buffer, CSignerCheck check);
    // Deletes the file.
    ~CInstaller() override;
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    std::wstring GetPath() const override { return m_path; }
    int Prepare() override;
    bool Write() override;

private:
    std::wstring m_path;
    CInstallerFile m_file;
    CSignerCheck m_check;
    // The source writes and the launcher prepares, on their own threads.
    std::mutex m_fileLock;
};

} // namespace CustomInstaller::Core
