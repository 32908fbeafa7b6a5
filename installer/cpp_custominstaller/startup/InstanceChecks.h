#pragma once

#include "cxx/core/OneInstance.h"
#include "installer/cpp_custominstaller/gui/SetupWindowTitle.h"

#include <string>

namespace CustomInstaller {

// Held by a running NSIS setup of the product.
inline constexpr const wchar_t* RunningSetupMarker = L"{86C0077D-48A5-4E6C-A2B1-FC4CD5CA77B9}";

// Makes the single-instance mutex specific to the product.
class CProductNameSpecificGenerator : public Cxx::Core::COneInstance::IMNSuffixGenerator {
public:
    std::wstring GetSuffix() override;
};

// Takes the product's machine-wide single-instance mutex.
bool IsFirstInstance();

// Brings the window of another running copy to the front, when it has one.
void BringRunningCopyToFront();

// True when an NSIS setup of the product runs (its marker mutex exists and a
// process started from the NSIS work folder with the setup's file description
// has a top-level window); that window is brought to the front. The marker is
// only opened, never created, so the probe cannot make a starting setup
// believe that another one runs.
bool IsSetupAlreadyRunning();

// The same with a given marker name and work folder.
bool IsSetupAlreadyRunning(const std::wstring& markerName, const std::wstring& workFolder);

} // namespace CustomInstaller
