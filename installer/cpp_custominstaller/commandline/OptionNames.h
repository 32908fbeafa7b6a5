#pragma once

// The setup program's command-line option names, prefix character included.
// Names are compared case-sensitively.
namespace CustomInstaller::Core::CommandLine::OptionNames {

inline constexpr const wchar_t* GaTrackingUid = L"/GA_TRACKING_UID";
inline constexpr const wchar_t* BuildId = L"/BUILD_ID";
inline constexpr const wchar_t* Tracking = L"/TRACKING";
inline constexpr const wchar_t* OSource = L"/OSOURCE";
inline constexpr const wchar_t* Language = L"/LANG";
inline constexpr const wchar_t* Delay = L"/DELAY";
inline constexpr const wchar_t* LaunchDelay = L"/LAUNCHDELAY";
inline constexpr const wchar_t* NoUi = L"/NO_UI";
inline constexpr const wchar_t* Silent = L"/S";
inline constexpr const wchar_t* VerySilent = L"/VS";
inline constexpr const wchar_t* DisablePostPages = L"/DISABLEPOSTPAGES";
inline constexpr const wchar_t* Update = L"/UPDATE";
inline constexpr const wchar_t* CancelOneInstanceCheck = L"/CANCEL_ONE_INSTANCE_CHECK";
inline constexpr const wchar_t* ExtractTrackingUid = L"-extractTrackingUID";

} // namespace CustomInstaller::Core::CommandLine::OptionNames
