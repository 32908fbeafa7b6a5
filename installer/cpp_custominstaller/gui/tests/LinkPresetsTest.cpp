#include "installer/cpp_custominstaller/gui/LinkPresets.h"

#include <gtest/gtest.h>

#include <optional>

using namespace CustomInstaller::Gui;
using ProductList::ProductInfo;

namespace {

// A catalogue that holds at most the product itself.
class CCatalogue : public ProductList::IProductList {
public:
    explicit CCatalogue(std::optional<ProductInfo> product) : m_product(std::move(product)) {}
    bool IsProductInstalled(std::string code) override { return m_product && m_product->code == code; }
    void GetProducts(std::vector<ProductInfo>&, bool) override {}
    void CollectProducts(std::map<std::string, ProductInfo>&) override {}
    bool LaunchProduct(const std::string&, const std::wstring&) override { return false; }
    bool IsSupportedVersion(const std::string&) override { return false; }
    bool GetProductInfo(const std::string& code, ProductInfo& info) override
    {
        if (!IsProductInstalled(code)) {
            return false;
        }
        info = *m_product;
        return true;
    }
    std::wstring GetInstallSource(const std::string&) override { return {}; }

private:
    std::optional<ProductInfo> m_product;
};

class CRecordingShell : public Cxx::Misc::CBrowserLaunchSystem {
public:
    bool ShellOpen(const std::wstring& target) override
    {
        opened.push_back(target);
        return true;
    }
    std::vector<std::wstring> opened;
};

} // namespace

TEST(LinkPresets, TheOptionsFillThePlaceholdersAndTheInstalledProductGivesTheDaysSinceItsInstall)
{
    CustomInstaller::Core::CommandLine::CInstallationDetails details;
    details.oSource = L"mail";
    details.tracking = L"spring";
    details.language = L"de";
    details.buildId = L"42";
    const CustomInstaller::Core::CommandLine::CInstallerOptions options(details);
    const std::int64_t now = 1700000000;
    const auto product = [](std::int64_t installTime) {
        ProductInfo info;
        info.code = "QXPDF";
        info.installTime = installTime;
        return std::optional<ProductInfo>(info);
    };
    const struct {
        std::optional<ProductInfo> product;
        const wchar_t* dsi;
    } cases[] = {
        {std::nullopt, nullptr},        {product(now - 3 * 86400 - 5), L"3"}, {product(now), L"0"},
        {product(0), L"52560000"},      {product(-5), L"52560000"},           {product(now + 10), L"52560000"},
    };
    for (const auto& c : cases) {
        CCatalogue catalogue(c.product);
        std::map<std::wstring, std::wstring> expected = {
            {L"buildid", L"42"},     {L"langid", L"de"}, {L"osource", L"mail"},      {L"product", L"QXPDF"},
            {L"trackid", L"spring"}, {L"uid", L""},      {L"version", L"7.0.0.1125"}};
        if (c.dsi) {
            expected[L"dsi"] = c.dsi;
        }
        std::map<std::wstring, std::wstring> values;
        const Cxx::Misc::CPresetParams presets = MakeLinkPresets(options, catalogue, now);
        for (const auto& [name, entry] : presets.GetEntries()) {
            values[name] = entry.value;
        }
        EXPECT_EQ(values, expected) << (c.dsi ? "installed" : "not installed");
    }

    CCatalogue none(std::nullopt);
    const auto shell = std::make_shared<CRecordingShell>();
    COpenInDefaultBrowserWithPresetParams opener(MakeLinkPresets(options, none, now), shell);
    EXPECT_TRUE(opener.Open(L"http://127.0.0.1:1/action/?product={{product}}&Language={{langid}}&BuildID={{buildid}}"
                            L"&UID={{uid}}&version={{version}}&dsi={{dsi}}",
                            Cxx::Misc::CPresetParams()));
    EXPECT_EQ(shell->opened, std::vector<std::wstring>{L"http://127.0.0.1:1/action/?product=QXPDF&Language=de"
                                                       L"&BuildID=42&UID=&version=7.0.0.1125"});
}
