#include "installer/cpp_custominstaller/js/GASender.h"

#include "appmetrics/AppMetrics.h"
#include "cxx/core/TextUtils.h"

namespace CustomInstaller::GA {

using Cxx::Core::Utils::WideToUtf8String;

bool CGASender::SendScreen(const std::wstring& screenName)
{
    if (screenName.empty()) {
        return false;
    }
    AppMetrics::SendScreenView(AppMetrics::CScreenViewData{WideToUtf8String(screenName)});
    return true;
}

bool CGASender::SendEvent(const std::wstring& action, const std::wstring& category, const std::wstring& screenName,
                          std::int64_t value)
{
    if (action.empty() || category.empty() || screenName.empty()) {
        return false;
    }
    AppMetrics::SendEvent(AppMetrics::CEventData(WideToUtf8String(action), WideToUtf8String(category),
                                                 WideToUtf8String(screenName), value));
    return true;
}

} // namespace CustomInstaller::GA
