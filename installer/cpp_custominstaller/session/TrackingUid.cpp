#include "installer/cpp_custominstaller/session/TrackingUid.h"

#include "appmetrics/AppMetrics.h"
#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/session/BoundedProcess.h"
#include "productlist/ProductList.h"
#include "productsettings/ProductSettings.h"

#include <windows.h>

#include <bcrypt.h>
#include <rpc.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <random>

namespace CustomInstaller {

namespace {

struct RpcStringTraits {
    static RPC_WSTR Invalid() { return nullptr; }
    static void Close(RPC_WSTR text) { ::RpcStringFreeW(&text); }
};

std::wstring CreateRpcUuidText()
{
    UUID uuid{};
    if (::UuidCreate(&uuid) != RPC_S_OK) {
        return {};
    }
    Cxx::Core::CUniqueHandle<RpcStringTraits> text;
    if (::UuidToStringW(&uuid, text.Put()) != RPC_S_OK || !text) {
        return {};
    }
    return reinterpret_cast<const wchar_t*>(text.Get());
}

std::wstring CreateRandomUuidText()
{
    std::array<std::uint8_t, 16> bytes{};
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        std::random_device device;
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(device());
        }
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += L'-';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

bool IsClientId(const std::wstring& text)
{
    std::string normalized;
    return AppMetrics::NormalizeClientId(Cxx::Core::Utils::WideToUtf8String(text), normalized);
}

bool ExtractTrackingUid(const std::wstring& fileName)
{
    if (fileName.empty()) {
        return false;
    }
    const std::unique_ptr<ProductSettings::IProductSettings> settings =
        ProductSettings::CreateProductSettings(OwnProductCode);
    if (!settings || settings->LoadCurrentUserSettings() != ProductSettings::LR_Loaded) {
        return false;
    }
    const boost::any value = settings->GetParameter("TrackingUID");
    const std::wstring* text = boost::any_cast<std::wstring>(&value);
    if (!text || text->empty()) {
        return false;
    }
    std::wofstream file(fileName.c_str(), std::ios::out | std::ios::trunc);
    if (!file.is_open()) {
        return false;
    }
    file << *text;
    file.close();
    return !file.fail();
}

std::wstring ReadStoredTrackingUid(const std::wstring& program, const std::wstring& file,
                                   std::chrono::milliseconds limit)
{
    DWORD exitCode = 1;
    if (RunWithTimeLimit(program, L"-extractTrackingUID=\"" + file + L"\"", limit, exitCode) != BR_Exited ||
        exitCode != 0) {
        return {};
    }
    std::wstring word;
    try {
        std::wifstream input(file.c_str());
        if (!input.is_open()) {
            return {};
        }
        input >> word;
        input.close();
        ::DeleteFileW(file.c_str());
    } catch (const std::exception&) {
        return {};
    }
    return IsClientId(word) ? word : std::wstring();
}

std::wstring ReadStoredTrackingUid()
{
    return ReadStoredTrackingUid(Cxx::Core::Utils::GetModuleFilePath(),
                                 Cxx::Core::Utils::GetModuleDirectory() + L"\\" + TrackingUidFileName,
                                 TrackingUidJobLimit);
}

std::wstring GetSessionGuid()
{
    static std::mutex lock;
    static std::wstring cached;
    std::lock_guard guard(lock);
    if (cached.empty()) {
        cached = CreateRpcUuidText();
    }
    return cached.empty() ? CreateRandomUuidText() : cached;
}

std::wstring ResolveTrackingUid()
{
    static const std::wstring trackingUid = [] {
        std::wstring stored;
        ProductList::CProductList products(L"", "");
        if (products.IsProductInstalled(OwnProductCode)) {
            stored = ReadStoredTrackingUid();
        }
        return stored.empty() ? GetSessionGuid() : stored;
    }();
    return trackingUid;
}

} // namespace CustomInstaller
