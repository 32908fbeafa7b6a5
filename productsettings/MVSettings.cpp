#include "productsettings/MVSettings.h"

namespace ProductSettings {

const SettingsProduct mvProduct = {"BL",
                                   L"MV_CURRENT_USER_SETTINGS",
                                   L"Settings.xml",
                                   L"MV_COMMON_SETTINGS",
                                   L"CommonSettings.xml",
                                   &MakeProductSettings<CMVSettings, CMVSettingsFactory>};

} // namespace ProductSettings

void CLastScanSettings::Map(const Tree& node)
{
    MapValue<long long>(node, "LastScanTime", L"LastScan", 0LL);
    MapValue<unsigned>(node, "ErrorsRemaining", L"ErrorsRemaining", 0u);
    MapValue<bool>(node, "ShowRemainingErrors", L"ShowRemainingErrors", false);
    MapValue<int>(node, "LastScreenAfterScan", L"LastScreenAfterScan", 3);
    MapValue<bool>(node, "ScanWithoutFixPerformed", L"ScanWithoutFixPerformed", false);
}

void CMVLanguageMgr::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "CurrentLanguageFile", L"Language.String", L"English.xml");
}

void CPurchaseBrowserInfo::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "PurchaseBrowserType", L"PurchaseType", L"");
    MapValue<std::wstring>(node, "PurchaseBrowserUrl", L"PurchaseURL", L"");
    MapValue<std::wstring>(node, "PurchaseBrowserTitle", L"PurchaseTitle", L"");
    MapValue<long>(node, "PurchaseBrowserWidth", L"PurchaseBrowserX", 640L);
    MapValue<long>(node, "PurchaseBrowserHeight", L"PurchaseBrowserY", 480L);
}

void CCheckboxState::Map(const Tree& node)
{
    MapValue<int>(node, "checkBoxIndex", L"first", 0);
    MapValue<bool>(node, "checkBoxState", L"second", false);
}

void CMVUserSettings::Map(const Tree& node)
{
    // An element without items gives an empty list, so that a load replaces
    // the states held before.
    MapGroupList<CCheckboxState>(node, "ScanCheckboxesStates", L"m_mpStatesOfScanCheckboxes");
    MapValue<bool>(node, "HidePopups", L"m_bHidePopups", false);
    MapValue<bool>(node, "MinimizeToTray", L"MinimazeToTray", true);
    MapValue<bool>(node, "RunAtStartup", L"RunAtStartUp", true);
    MapValue<bool>(node, "IsFirstScan", L"FirstScan", true);
    MapValue<int>(node, "FixedErrorsCount", L"FixedToDate", 0);
    MapValue<bool>(node, "IsFirstScanCanceled", L"FirstScanCanceled", false);
    MapGroup<CLastScanSettings>(node, "LastScanInfo", L"LastScanInfo");
    MapGroup<CMVLanguageMgr>(node, "LanguageInfo", L"LanguageInfo");
    MapGroup<CPurchaseBrowserInfo>(node, "PurchaseBrowserInfo", L"PurchaseBrowserInfo");
    MapValue<bool>(node, "ShowSplash", L"ShowSplashScreen", true);
    MapValue<bool>(node, "OptimizeCompleted", L"OptimizeCompleted", false);
    MapValue<int>(node, "OptimizedKeysCount", L"NumOfOptimizedKey", 0);
    MapValue<int>(node, "OriginalSize", L"OriginalSize", 0);
    MapValue<int>(node, "OptimizedSize", L"OptimizedSize", 0);
    MapValue<std::wstring>(node, "OldUID", L"OldUID.String", L"");
    MapValue<bool>(node, "FirstAppLaunch", L"FirstStart", true);
    MapValue<bool>(node, "CreateSR", L"m_bCreateSR", true);
    MapValue<bool>(node, "StartMinimizedOnAutoStart", L"m_bStartMinimizedOnAutostart", false);
    MapValue<bool>(node, "ShowServerNotifications", L"m_bShowNotificationsAllowed", true);
    MapValue<std::wstring>(node, "TrackingUID", L"m_trackingUID.String", L"");
    MapValue<bool>(node, "EnableTracking", L"m_usageTracking", true);
}
