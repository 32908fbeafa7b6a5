#include "cxx/network/TlsValidator.h"

#include "cxx/core/Handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

using Cxx::Network::CTlsValidator;

namespace {

// A key of its own for each test process, so that nothing touches the real
// Internet settings or another test's value.
class TlsValidator : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.Put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        key.Reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str());
    }

    void Write(DWORD value)
    {
        ASSERT_EQ(::RegSetValueExW(key.Get(), L"SecureProtocols", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                                   sizeof(value)),
                  ERROR_SUCCESS);
    }
    std::optional<DWORD> Read() const
    {
        DWORD value = 0, size = sizeof(value);
        if (::RegQueryValueExW(key.Get(), L"SecureProtocols", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }
    CTlsValidator::VersionProbe Windows(std::uint32_t major, std::uint32_t minor) const
    {
        return [major, minor](std::uint32_t& a, std::uint32_t& b) {
            a = major;
            b = minor;
            return true;
        };
    }

    const std::wstring keyPath = L"Software\\KorvaneTests\\SecureProtocols" + std::to_wstring(::GetCurrentProcessId());
    Cxx::Core::CRegKey key;
};

TEST_F(TlsValidator, AddsTheMissingBitsWhileItLives)
{
    Write(0xA0);
    {
        CTlsValidator windows7(keyPath, Windows(6, 1));
        EXPECT_TRUE(windows7.EnsureSecureProtocols());
        EXPECT_EQ(Read(), 0xAA0u);
    }
    EXPECT_EQ(Read(), 0xA0u);

    Write(0xA80);
    {
        CTlsValidator windows10(keyPath, Windows(10, 0));
        EXPECT_TRUE(windows10.EnsureSecureProtocols());
        EXPECT_EQ(Read(), 0xA80u);
        Write(0x2A80);
    }
    EXPECT_EQ(Read(), 0x2A80u) << "a holder that wrote nothing restores nothing";

    Write(0x20);
    {
        CTlsValidator vista(keyPath, Windows(6, 0));
        EXPECT_TRUE(vista.EnsureSecureProtocols());
        EXPECT_EQ(Read(), 0xA0u);
    }
    EXPECT_EQ(Read(), 0x20u);
}

TEST_F(TlsValidator, MissingValueIsWrittenWholeAndRemovedAgain)
{
    {
        CTlsValidator windows10(keyPath, Windows(10, 0));
        EXPECT_TRUE(windows10.EnsureSecureProtocols());
        EXPECT_EQ(Read(), 0xA00u);
    }
    EXPECT_FALSE(Read().has_value());

    CTlsValidator untouched(keyPath, Windows(10, 0));
    EXPECT_FALSE(Read().has_value());
}

TEST_F(TlsValidator, OverlappingHoldersRestoreTheUsersValueLast)
{
    Write(0xA0);
    auto first = std::make_unique<CTlsValidator>(keyPath, Windows(6, 1));
    auto second = std::make_unique<CTlsValidator>(keyPath, Windows(6, 1));
    EXPECT_TRUE(first->EnsureSecureProtocols());
    EXPECT_TRUE(second->EnsureSecureProtocols());
    first.reset();
    EXPECT_EQ(Read(), 0xAA0u) << "the second holder still needs the bits";
    second.reset();
    EXPECT_EQ(Read(), 0xA0u);
}

TEST_F(TlsValidator, SettingsPutBackForAnEndingProcessAreNotPutBackAgain)
{
    Write(0xA0);
    auto abandoned = std::make_unique<CTlsValidator>(keyPath, Windows(6, 1));
    ASSERT_TRUE(abandoned->EnsureSecureProtocols());
    CTlsValidator::RestoreHeldSettings();
    EXPECT_EQ(Read(), 0xA0u);

    // A later holder has a hold of its own, which the old one's end leaves alone.
    CTlsValidator later(keyPath, Windows(6, 1));
    ASSERT_TRUE(later.EnsureSecureProtocols());
    abandoned.reset();
    EXPECT_EQ(Read(), 0xAA0u);
}

TEST_F(TlsValidator, FailsWhenTheKeyOrVersionCannotBeRead)
{
    CTlsValidator noKey(keyPath + L"\\Missing", Windows(10, 0));
    EXPECT_FALSE(noKey.EnsureSecureProtocols());
    HKEY missing = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\Missing").c_str(), 0, KEY_READ, &missing),
              ERROR_SUCCESS);

    Write(0xA0);
    CTlsValidator noVersion(keyPath, [](std::uint32_t&, std::uint32_t&) { return false; });
    EXPECT_FALSE(noVersion.EnsureSecureProtocols());
    EXPECT_EQ(Read(), 0xA0u);

    std::uint32_t major = 0, minor = 0;
    EXPECT_TRUE(CTlsValidator::SystemVersion(major, minor));
    EXPECT_GE(major, 5u);
}

} // namespace
