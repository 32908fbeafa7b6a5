#include "productsettings/HBSettings.h"

namespace ProductSettings {

const SettingsProduct hbProduct = {"QXYB",
                                   L"HB_CURRENT_USER_SETTINGS",
                                   L"settings.xml",
                                   L"HB_COMMON_SETTINGS",
                                   L"common_settings.xml",
                                   &MakeProductSettings<CHBSettings, CHBSettingsFactory>};

} // namespace ProductSettings

void CHBUserSettings::Map(const Tree& node)
{
    MapValue<bool>(node, "MonitorInstallations", L"m_propMonitorInstallations.m_prop", true);
    MapValue<bool>(node, "CheckForUpdatesOnStart", L"m_propCheckForUpdatesOnStart.m_prop", true);
    MapValue<std::wstring>(node, "CurrentLanguageFile", L"m_propLanguage.m_prop.String", L"English.xml");
    MapValue<bool>(node, "FirstRun", L"m_propFirstRun.m_prop", true);
    MapValue<bool>(node, "FirstMinimizeScanDialog", L"m_propFirstMinimizeScanDialog.m_prop", true);
    MapValue<bool>(node, "RunOnStartUp", L"m_propRunOnStartUpFlag.m_prop", true);
    MapValue<long long>(node, "LastScanTime", L"m_propLastScanTime.m_prop", 0LL);
    MapValue<bool>(node, "ShowMonitorStateMsg", L"m_propShowMonitorStateMsg.m_prop", true);
    MapValue<std::wstring>(node, "MetricUID", L"m_propMetrictUID.m_prop.String", L"");
    MapValue<bool>(node, "UsageTracking", L"m_propUsageTracking.m_prop", true);
}
