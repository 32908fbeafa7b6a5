#include "installer/cpp_custominstaller/core/CInstaller.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "kv_config.h"

#include <cwchar>
#include <algorithm>
#include <fstream>

namespace CustomInstaller::Core {

using Cxx::Core::Utils::HexDigitValue;
using Cxx::Core::Utils::SignerCertificateInfo;

std::vector<BYTE> ParseSerialNumber(const std::wstring& text)
{
    std::wstring digits;
    for (const wchar_t c : text) {
        if (c == L':' || c == L' ') {
            continue;
        }
        if (HexDigitValue(c) < 0) {
            return {};
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        digits.insert(digits.begin(), L'0');
    }
    std::vector<BYTE> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<BYTE>(HexDigitValue(digits[i]) << 4 | HexDigitValue(digits[i + 1])));
    }
    return bytes;
}

bool IsSameSigner(const SignerCertificateInfo& expected, const SignerCertificateInfo& actual)
{
    return expected.serialNumber == actual.serialNumber &&
           _wcsicmp(expected.issuerName.c_str(), actual.issuerName.c_str()) == 0 &&
           _wcsicmp(expected.subjectName.c_str(), actual.subjectName.c_str()) == 0;
}

CSignerCheck CSignerCheck::FromBuildConfiguration()
{
    CSignerCheck check;
    check.expectedSigner.serialNumber = ParseSerialNumber(KV_SIGNER_SERIAL);
    check.expectedSigner.issuerName = KV_SIGNER_ISSUER;
    check.expectedSigner.subjectName = KV_SIGNER_SUBJECT;
    check.windowsMajorVersion = [](DWORD& major) {
        DWORD minor = 0;
        DWORD productType = 0;
        DWORD suiteMask = 0;
        return Cxx::Core::Utils::GetWindowsVersion(major, minor, productType, suiteMask);
    };
    check.verifySignature = [](const std::wstring& path) { return Cxx::Core::Utils::VerifyFileSignature(path); };
    check.readSigner = [](const std::wstring& path, SignerCertificateInfo& signer) {
        return Cxx::Core::Utils::GetFileSignerName(path, signer);
    };
    return check;
}

int CSignerCheck::Check(const std::wstring& path) const
{
    DWORD major = 0;
    if (windowsMajorVersion(major) && major <= 5) {
        return SC_Trusted;
    }
    if (!verifySignature(path)) {
        return SC_NotTrusted;
    }
    SignerCertificateInfo signer;
    if (!readSigner(path, signer)) {
        return SC_SignerUnreadable;
    }
    return IsSameSigner(expectedSigner, signer) ? SC_Trusted : SC_NotTrusted;
}

CInstallerFile::CInstallerFile(std::shared_ptr<std::stringstream> buffer, std::wstring path)
    : m_buffer(std::move(buffer)), m_path(std::move(path))
{
}

bool CInstallerFile::Exists() const
{
    return !m_path.empty() && Cxx::Core::Utils::FileExists(m_path);
}

bool CInstallerFile::Write()
{
    // An empty download is written as an empty file: it is simply not a
    // signed installer, and the signer check says so.
    if (!m_buffer || m_path.empty()) {
        return false;
    }
    Unlock();
    std::ofstream file(m_path.c_str(), std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
    if (!file.is_open() || !file.good()) {
        return false;
    }
    // Written in pieces: one call for the whole installer took twice as long under Wine.
    constexpr std::size_t Piece = 1 << 18;
    const std::string_view bytes = m_buffer->view();
    for (std::size_t offset = 0; offset < bytes.size() && file.good(); offset += Piece) {
        file.write(bytes.data() + offset, static_cast<std::streamsize>(std::min(Piece, bytes.size() - offset)));
    }
    file.close();
    return !file.fail();
}

int CInstallerFile::CheckSignature(const CSignerCheck& check)
{
    Unlock();
    // Read access only, shared only with readers: the check and the start of
    // the process read it, nobody can change it in between.
    Cxx::Core::CFileHandle lock(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock) {
        return SC_SignerUnreadable;
    }
    const int result = check.Check(m_path);
    if (result == SC_Trusted) {
        m_lock = std::move(lock);
    }
    return result;
}

CInstaller::CInstaller(const std::wstring& path, std::shared_ptr<std::stringstream> buffer)
    : CInstaller(path, std::move(buffer), CSignerCheck::FromBuildConfiguration())
{
}

CInstaller::CInstaller(const std::wstring& path, std::shared_ptr<std::stringstream> buffer, CSignerCheck check)
    : m_path(path), m_file(std::move(buffer), path), m_check(std::move(check))
{
}

CInstaller::~CInstaller()
{
    m_file.Unlock();
    if (Cxx::Core::Utils::FileExists(m_path)) {
        ::DeleteFileW(m_path.c_str());
    }
}

int CInstaller::Prepare()
{
    std::lock_guard guard(m_fileLock);
    try {
        if (!m_file.Exists()) {
            return m_file.Write() ? PR_Written : PR_WriteFailed;
        }
    } catch (const std::exception&) {
        // Counted as written: the next call tests the file again.
        return PR_Written;
    }
    try {
        switch (m_file.CheckSignature(m_check)) {
        case SC_Trusted:
            return PR_Ready;
        case SC_SignerUnreadable:
            return PR_SignerUnreadable;
        default:
            return m_file.Write() ? PR_Rewritten : PR_WriteFailed;
        }
    } catch (const std::exception&) {
        return PR_SignerUnreadable;
    }
}

bool CInstaller::Write()
{
    std::lock_guard guard(m_fileLock);
    return m_file.Write();
}

} // namespace CustomInstaller::Core
