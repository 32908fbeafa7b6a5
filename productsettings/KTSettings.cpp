#include "productsettings/KTSettings.h"

namespace ProductSettings {

const SettingsProduct ktProduct = {"NQ",
                                   L"KT_CURRENT_USER_SETTINGS",
                                   L"AppSettings.xml",
                                   L"KT_COMMON_SETTINGS",
                                   L"CommonSettings.xml",
                                   &MakeProductSettings<CKTSettings, CKTSettingsFactory>};

} // namespace ProductSettings

void CKTCommonSettings::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "BuildID", L"m_strBuildID.String", L"0");
    MapValue<std::wstring>(node, "TrackID", L"m_strTrackID.String", L"");
}

void CKTLanguageMgr::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "CurrentLanguageFile", L"CurrentLanguage.String", L"English.xml");
}

void Size::Map(const Tree& node)
{
    MapValue<long>(node, "Height", L"Height", 480L);
    MapValue<long>(node, "Width", L"Width", 640L);
}

void CKTGeneralSettings::Map(const Tree& node)
{
    MapValue<bool>(node, "Startup", L"Startup", true);
    MapValue<bool>(node, "AutoScan", L"Autoscan", true);
    MapValue<long long>(node, "LastScan", L"LastScan", 0LL);
    MapValue<short>(node, "FrequencyScanning", L"FrequencyScanning", short(3));
}

void CKTExcludeList::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "ExcludeList", L"String", L"");
}

void CKTUpdateInfo::Map(const Tree& node)
{
    MapValue<std::wstring>(node, "UpdateName", L"Name.String", L"");
    MapValue<std::wstring>(node, "UpdateTypeName", L"TypeName.String", L"");
    MapValue<std::wstring>(node, "UpdateDomain", L"Domain.String", L"");
    MapValue<int>(node, "DriverAge", L"DriverAge", 0);
}

void CKTUserSettings::Map(const Tree& node)
{
    MapValue<bool>(node, "IsFirstScan", L"IsFirstScan", true);
    MapGroup<CKTLanguageMgr>(node, "LanguageInfo", L"LanguageManager");
    MapValue<bool>(node, "ScanAfterRun", L"ScanAfterRun", false);
    MapValue<bool>(node, "AutoDownload", L"AutoDownload", true);
    MapValue<bool>(node, "AutoInstall", L"AutoInstall", true);
    MapValue<int>(node, "OutOfDateDriversCount", L"OutOfDateItems", 0);
    MapValue<int>(node, "UpdatedDriverCount", L"DriverUpdated", 0);
    MapValue<int>(node, "ScanScalesArithmeticMean", L"ScanScalesArithmeticMean", 0);
    MapGroup<Size>(node, "EmbeddedBrowserSize", L"EmbeddedBrowser");
    MapGroupCollection<CKTExcludeList>(node, "ExcludeList", L"ExcludeList.px.ExcludeList");
    MapGroupList<CKTUpdateInfo>(node, "UpdatesInfo", L"UpdatesInfo");
    MapValue<bool>(node, "ShowSplash", L"ShowSplash", true);
    MapValue<std::wstring>(node, "OldUID", L"OldUID.String", L"");
    MapValue<bool>(node, "FirstAppLaunch", L"FirstRun", true);
    MapGroup<CKTGeneralSettings>(node, "GeneralSettings", L"GeneralSettings");
    MapValue<bool>(node, "HidePopups", L"m_bHidePopups", false);
    MapValue<std::wstring>(node, "DriversPath", L"m_strDriversPath.String", L"");
    MapValue<std::wstring>(node, "BackupsPath", L"m_strBackupsPath.String", L"");
    MapValue<bool>(node, "DeliverRecomended", L"m_bDeliverRecommendedDrivers", true);
    MapValue<long long>(node, "OldestDriverAge", L"time", 0LL);
    MapValue<bool>(node, "StartMinimizedOnAutoStart", L"m_bStartMinimizedOnAutostart", false);
    MapValue<bool>(node, "CreateRP", L"m_bCreateRP", true);
    MapValue<bool>(node, "ShowServerNotifications", L"ShowNotificationsAllowed", true);
    MapValue<bool>(node, "EnableTracking", L"m_usageTracking", true);
    MapValue<std::wstring>(node, "TrackingUID", L"m_trackingUID.String", L"");
}
