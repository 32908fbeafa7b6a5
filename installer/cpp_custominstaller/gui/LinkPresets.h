#pragma once

#include "cxx/misc/OpenInDefaultBrowser.h"
#include "installer/cpp_custominstaller/commandline/CInstallerOptions.h"
#include "productlist/IProductList.h"

#include <cstdint>
#include <memory>
#include <string>

namespace CustomInstaller::Gui {

// The "dsi" of a product whose install time is unknown or lies ahead: 100 years in days.
inline constexpr std::int64_t UnknownDaysSinceInstall = 52560000;

// Whole days from installTime to now, both in seconds since 1970.
std::int64_t GetDaysSinceInstall(std::int64_t installTime, std::int64_t now);

// Seconds since 1970.
std::int64_t CurrentUnixTime();

// The values of the installer page's link placeholders: build id, origin source, tracking,
// version, language, the product code and an empty uid, and "dsi" while the product is
// installed.
Cxx::Misc::CPresetParams MakeLinkPresets(const Core::CommandLine::CInstallerOptions& options,
                                         ProductList::IProductList& catalogue, std::int64_t now);

// The opener of the installer page's links: the window's preset values fill the placeholders
// (the page passes none of its own).
class COpenInDefaultBrowserWithPresetParams final : public Cxx::Misc::COpenInDefaultBrowser {
public:
    explicit COpenInDefaultBrowserWithPresetParams(Cxx::Misc::CPresetParams presets);
    COpenInDefaultBrowserWithPresetParams(Cxx::Misc::CPresetParams presets,
                                          std::shared_ptr<Cxx::Misc::IBrowserLaunchSystem> system);

    bool Open(const std::wstring& url, const Cxx::Misc::CPresetParams& ignored) override;

private:
    const Cxx::Misc::CPresetParams m_presets;
};

} // namespace CustomInstaller::Gui
