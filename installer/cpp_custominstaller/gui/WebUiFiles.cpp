#include "installer/cpp_custominstaller/gui/WebUiFiles.h"

#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/page/InstallerPageFiles.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdint>

namespace CustomInstaller::Gui {

namespace {

constexpr int FolderAttempts = 8;

bool GetTempFolder(std::wstring& folder)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return false;
    }
    folder.assign(buffer, length);
    return true;
}

// CreateDirectoryW refuses a name that exists, so the folder is one that no
// other process made or can have filled beforehand.
bool CreateFreshFolder(const std::wstring& parent, std::wstring& folder)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    for (int attempt = 0; attempt < FolderAttempts; ++attempt) {
        std::uint64_t random = 0;
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof(random),
                                              BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            return false;
        }
        std::wstring candidate = parent + L"KorvanePage-";
        for (int shift = 60; shift >= 0; shift -= 4) {
            candidate += digits[(random >> shift) & 0xF];
        }
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            folder = std::move(candidate);
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

} // namespace

CWebUiFiles::CWebUiFiles(std::wstring folder) : m_folder(std::move(folder)) {}

CWebUiFiles::~CWebUiFiles()
{
    // A file that another process still holds open stays; nothing more can be done here.
    Cxx::Core::Utils::RemoveFolderTree(m_folder);
}

std::wstring CWebUiFiles::IndexPath() const
{
    return m_folder + L"\\index.html";
}

std::unique_ptr<CWebUiFiles> UnpackWebUi(HMODULE module)
{
    std::wstring temp;
    std::wstring folder;
    if (!module || !GetTempFolder(temp) || !CreateFreshFolder(temp, folder)) {
        return nullptr;
    }
    // From here on the holder removes whatever was written, on failure too.
    auto files = std::make_unique<CWebUiFiles>(std::move(folder));
    for (const CPageFile& file : PageFiles) {
        std::wstring path = files->Folder() + L"\\" + file.path;
        std::replace(path.begin(), path.end(), L'/', L'\\');
        const LPCWSTR type = file.typeName ? file.typeName : MAKEINTRESOURCEW(file.typeId);
        if (!Cxx::Core::Utils::CreateFolders(Cxx::Core::Utils::DirectoryOfPath(path)) ||
            !WriteResourceToFile(file.id, type, path, module)) {
            return nullptr;
        }
    }
    return files;
}

bool WriteResourceToFile(WORD id, LPCWSTR type, const std::wstring& path, HMODULE module)
{
    const HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    const HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) {
        return false;
    }
    const DWORD size = ::SizeofResource(module, info);
    const Cxx::Core::CFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
}

} // namespace CustomInstaller::Gui
