#include "tallix/Milestone.h"

#include "cxx/core/TextUtils.h"
#include "cxx/core/OptionTokenizer.h"

#include <map>

namespace Tallix {
namespace {

using OptionMap = std::map<std::wstring, std::wstring>;

enum class EAround { None, Start, EndUnlessDisabled, EndWhenAsked };

struct CEventOption {
    const wchar_t* option;
    const char* action;
    bool hasValue;
    EAround around;
};

// In order of precedence: the first one present decides.
const CEventOption EventOptions[] = {
    {L"-uninstall_start", "AppUninstall", true, EAround::EndUnlessDisabled},
    {L"-install_start", "InstallerStart", true, EAround::Start},
    {L"-install_start_s", "InstallerStartS", true, EAround::Start},
    {L"-install_success", "InstallerSuccess", false, EAround::EndWhenAsked},
    {L"-install_success_s", "InstallerSuccessS", false, EAround::EndWhenAsked},
    {L"-install_finish", "InstallerFinish", false, EAround::EndWhenAsked},
    {L"-install_finish_s", "InstallerFinishS", false, EAround::EndWhenAsked},
    {L"-install_failure", "InstallerFailure", false, EAround::EndWhenAsked},
    {L"-install_failure_s", "InstallerFailureS", false, EAround::EndWhenAsked},
    {L"-install_cancel", "InstallerCancel", false, EAround::EndUnlessDisabled},
    {L"-install_cancel_s", "InstallerCancelS", false, EAround::EndUnlessDisabled},
};

std::string Value(const OptionMap& options, const wchar_t* name)
{
    const auto found = options.find(name);
    return found == options.end() ? std::string() : Cxx::Core::Utils::WideToUtf8String(found->second);
}

} // namespace

std::optional<CMilestone> ParseInstallerMilestone(const std::wstring& commandLine)
{
    OptionMap options;
    Cxx::Core::Utils::TokenizeOptions<wchar_t>(commandLine, options);
    const auto has = [&options](const wchar_t* name) { return options.count(name) != 0; };

    CMilestone milestone;
    AppMetrics::CGoogleAnalyticsSettings& settings = milestone.settings;
    settings = AppMetrics::CGoogleAnalyticsSettings(Value(options, L"-track_id"), Value(options, L"-guid"),
                                                    Value(options, L"-app_version"), Value(options, L"-app_name"),
                                                    Value(options, L"-language"), Value(options, L"-product_code"));
    std::string clientId;
    if (settings.trackingId.empty() || settings.clientId.empty() || settings.applicationVersion.empty() ||
        settings.applicationName.empty() || settings.userLanguage.empty() || settings.productCode.empty() ||
        !AppMetrics::NormalizeClientId(settings.clientId, clientId)) {
        return std::nullopt;
    }

    const bool sessionsDisabled = has(L"-disableSessionManagement");
    for (const CEventOption& candidate : EventOptions) {
        if (!has(candidate.option)) {
            continue;
        }
        const std::int64_t value = !candidate.hasValue ? -1 : has(L"-install_silent") ? 0 : 1;
        milestone.event = AppMetrics::CEventData(candidate.action, "Install", "", value);
        milestone.startSession = candidate.around == EAround::Start && !sessionsDisabled;
        milestone.endSession =
            !sessionsDisabled && (candidate.around == EAround::EndUnlessDisabled ||
                                  (candidate.around == EAround::EndWhenAsked && has(L"-end_session")));
        return milestone;
    }
    return std::nullopt;
}

bool SendInstallerMilestone(const std::wstring& commandLine)
{
    const std::optional<CMilestone> milestone = ParseInstallerMilestone(commandLine);
    if (!milestone) {
        return false;
    }
    AppMetrics::InitializeMetrics(milestone->settings);
    AppMetrics::SetAutomaticSessionManagement(false);
    AppMetrics::SetEnabled(true);
    if (milestone->startSession) {
        AppMetrics::StartSession();
    }
    const bool queued = AppMetrics::SendEvent(milestone->event);
    if (milestone->endSession) {
        AppMetrics::EndSession();
    }
    return queued;
}

} // namespace Tallix
