#include "installer/cpp_custominstaller/gui/LinkPresets.h"

#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"

#include <chrono>

namespace CustomInstaller::Gui {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;

} // namespace

std::int64_t GetDaysSinceInstall(std::int64_t installTime, std::int64_t now)
{
    if (installTime <= 0 || now < installTime) {
        return UnknownDaysSinceInstall;
    }
    return (now - installTime) / SecondsPerDay;
}

std::int64_t CurrentUnixTime()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Cxx::Misc::CPresetParams MakeLinkPresets(const Core::CommandLine::CInstallerOptions& options,
                                         ProductList::IProductList& catalogue, std::int64_t now)
{
    Cxx::Misc::CPresetParams presets;
    presets.SetBuildId(options.GetBuildId());
    presets.SetOSource(options.GetOSource());
    presets.SetTrackId(options.GetTracking());
    presets.SetVersion(options.GetVersion());
    presets.SetLangId(options.GetLanguage());
    presets.SetProduct(Cxx::Core::Utils::Utf8ToWideString(OwnProductCode));
    presets.SetUid(L"");
    ProductList::ProductInfo product;
    if (catalogue.IsProductInstalled(OwnProductCode) && catalogue.GetProductInfo(OwnProductCode, product)) {
        presets.SetDsi(std::to_wstring(GetDaysSinceInstall(product.installTime, now)));
    }
    return presets;
}

COpenInDefaultBrowserWithPresetParams::COpenInDefaultBrowserWithPresetParams(Cxx::Misc::CPresetParams presets)
    : m_presets(std::move(presets))
{
}

COpenInDefaultBrowserWithPresetParams::COpenInDefaultBrowserWithPresetParams(
    Cxx::Misc::CPresetParams presets, std::shared_ptr<Cxx::Misc::IBrowserLaunchSystem> system)
    : COpenInDefaultBrowser(std::move(system)), m_presets(std::move(presets))
{
}

bool COpenInDefaultBrowserWithPresetParams::Open(const std::wstring& url, const Cxx::Misc::CPresetParams&)
{
    return COpenInDefaultBrowser::Open(url, m_presets);
}

} // namespace CustomInstaller::Gui
