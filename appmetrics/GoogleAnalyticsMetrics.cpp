#include "appmetrics/GoogleAnalyticsMetrics.h"

#include "appmetrics/AppMetrics.h"
#include "appmetrics/GoogleAnalyticsTiming.h"
#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"
#include "cxx/network/TlsValidator.h"

#include <windows.h>

#include <tlhelp32.h>

#include <type_traits>

namespace AppMetrics {
namespace {

struct CDaysSinceInstallHit {
    int days;
};

struct CCurrentLocaleHit {
    std::string locale;
};

void BuildTypeParameters(CHitParameters& parameters, const CEventData& data, const COsFacts&)
{
    BuildEventParameters(parameters, data);
}

void BuildTypeParameters(CHitParameters& parameters, const CScreenViewData& data, const COsFacts&)
{
    BuildScreenViewParameters(parameters, data);
}

void BuildTypeParameters(CHitParameters& parameters, const CTimingData& data, const COsFacts&)
{
    BuildTimingParameters(parameters, data);
}

void BuildTypeParameters(CHitParameters& parameters, const CExceptionData& data, const COsFacts& os)
{
    BuildExceptionParameters(parameters, data, os);
}

void BuildTypeParameters(CHitParameters& parameters, const CDaysSinceInstallHit& data, const COsFacts&)
{
    BuildDaysSinceInstallParameters(parameters, data.days);
}

void BuildTypeParameters(CHitParameters& parameters, const CBuildId& data, const COsFacts&)
{
    BuildBuildIdParameters(parameters, data);
}

void BuildTypeParameters(CHitParameters& parameters, const CCurrentLocaleHit& data, const COsFacts&)
{
    BuildCurrentLocaleParameters(parameters, data.locale);
}

void BuildTypeParameters(CHitParameters& parameters, EApplicationStartType type, const COsFacts&)
{
    BuildApplicationStartTypeParameters(parameters, type);
}

void BuildTypeParameters(CHitParameters& parameters, ESessionControl control, const COsFacts&)
{
    BuildSessionControlParameters(parameters, control);
}

// -1 when the process cannot be found in a snapshot.
int CountProcessThreads()
{
    Cxx::Core::CFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return -1;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self) {
            return static_cast<int>(entry.cntThreads);
        }
    }
    return -1;
}

template <typename T>
std::shared_ptr<T> OrDefault(const std::shared_ptr<T>& given, std::shared_ptr<T> (*make)())
{
    return given ? given : make();
}

} // namespace

bool CGoogleAnalyticsProxy::SendTiming(const CTimingData& data)
{
    std::lock_guard lock(m_mutex);
    return m_metrics && m_metrics->SendTiming(data);
}

void CGoogleAnalyticsProxy::Detach()
{
    std::lock_guard lock(m_mutex);
    m_metrics = nullptr;
}

CGoogleAnalyticsMetrics::CGoogleAnalyticsMetrics(const CGoogleAnalyticsSettings& settings,
                                                 const CMetricsOptions& options)
    : m_options(options),
      m_settings(settings),
      m_clock(OrDefault(options.clock, &CreateSystemClock)),
      m_sleeper(OrDefault(options.sleeper, &CreateSystemSleeper)),
      m_sender(options.sender ? options.sender : CreateWinInetHitSender(settings.endpoint)),
      m_os(COsFacts::Current()),
      m_budget(options.budget, *m_clock, *m_sleeper),
      m_proxy(std::make_shared<CGoogleAnalyticsProxy>(*this)),
      m_pool(options.queueCapacity)
{
}

template <typename TRecord>
bool CGoogleAnalyticsMetrics::Queue(TRecord record)
{
    return m_pool.Schedule([this, record = std::move(record)] {
        SendHitTask(record, UnlimitedRetries, m_shutdown.get_token(), std::nullopt);
    });
}

template <typename TRecord>
void CGoogleAnalyticsMetrics::SendHitTask(const TRecord& record, int retries, std::stop_token stop,
                                          std::optional<std::chrono::milliseconds> limit)
{
    if constexpr (std::is_same_v<TRecord, ESessionControl>) {
        if (!ShouldSendSessionControl(record)) {
            return;
        }
    }
    CHitRequest request;
    {
        std::lock_guard lock(m_mutex);
        BuildCommonParameters(request.parameters, m_settings);
        request.userAgent = Cxx::Core::Utils::Utf8ToWideString(m_settings.osDescription);
    }
    BuildTypeParameters(request.parameters, record, m_os);

    const CHitTicket ticket = m_budget.Take(stop);
    if (!ticket.granted) {
        return;
    }
    if (ticket.last) {
        request.parameters.AddSessionControl("end");
    }
    if (ticket.first && m_automaticSessions.load() != 0) {
        request.parameters.AddSessionControl("start");
        if (request.parameters.SessionControl() == "start") {
            UpdateSessionStartedFlag(true, true);
        }
    }

    std::chrono::milliseconds pause = FirstRetryPause;
    for (;;) {
        const EPostOutcome outcome = m_sender->Post(request, stop, limit);
        if (outcome == EPostOutcome::Abandoned) {
            m_abandonedPost = true;
        }
        if (outcome != EPostOutcome::Failed || retries == 0) {
            break;
        }
        if (!m_sleeper->SleepFor(pause, stop)) {
            break;
        }
        pause = NextRetryPause(pause);
        if (retries != UnlimitedRetries) {
            --retries;
        }
    }
    OnHitSent(request.parameters);
}

CGoogleAnalyticsMetrics::~CGoogleAnalyticsMetrics()
{
    const bool automatic = m_automaticSessions.load() != 0;
    if (automatic) {
        EndSession();
    }
    const bool drained = WaitOnShutdown(m_options.shutdownWait);
    if (!drained && automatic && IsEnabled()) {
        // The stop that ended the queue must not cancel this last try; its own limit bounds it.
        SendHitTask(SC_End, 0, std::stop_token(), m_options.finalHitLimit);
    }
    m_proxy->Detach();
    m_pool.Shutdown();
    // The process may end under a request given up on, before it could put
    // the user's TLS setting back: that happens here, once.
    if (m_abandonedPost) {
        Cxx::Network::CTlsValidator::RestoreHeldSettings();
    }
}

bool CGoogleAnalyticsMetrics::ShouldSendSessionControl(ESessionControl control) const
{
    // A session without any hit has nothing to end.
    return !(control == SC_End && m_automaticSessions.load() != 0 && m_budget.IsFirstHit());
}

void CGoogleAnalyticsMetrics::OnHitSent(const CHitParameters& sent)
{
    m_budget.Stamp();
    // Whatever ended the session (an explicit end, a crash report or the
    // session's last hit) opens a fresh budget for the next one; a start
    // begins a session whose budget it opens. A session's last hit that is an
    // explicit start would otherwise leave the budget spent for good.
    if (sent.SessionControl() == "end") {
        m_budget.Reset();
    } else if (sent.SessionControl() == "start") {
        m_budget.ResetAfterStart();
    }
}

bool CGoogleAnalyticsMetrics::SendEvent(const CEventData& data)
{
    if (!IsEnabled() || data.action.empty() || data.category.empty()) {
        return false;
    }
    return Queue(data);
}

std::unique_ptr<ITiming> CGoogleAnalyticsMetrics::CreateTiming(const CTimingData& data)
{
    if (data.variable.empty() || data.category.empty() || data.time < 0) {
        return nullptr;
    }
    return std::make_unique<CGoogleAnalyticsTiming>(data, m_proxy, m_clock);
}

bool CGoogleAnalyticsMetrics::SendTiming(const CTimingData& data)
{
    if (!IsEnabled() || data.variable.empty() || data.category.empty() || data.time < 0) {
        return false;
    }
    return Queue(data);
}

bool CGoogleAnalyticsMetrics::SendApplicationStartType(EApplicationStartType type)
{
    return IsEnabled() && Queue(type);
}

bool CGoogleAnalyticsMetrics::SendBuildId(const CBuildId& data)
{
    return IsEnabled() && !data.buildId.empty() && Queue(data);
}

bool CGoogleAnalyticsMetrics::SendCurrentLocale(const std::wstring& locale)
{
    return IsEnabled() && !locale.empty() && Queue(CCurrentLocaleHit{Cxx::Core::Utils::WideToUtf8String(locale)});
}

bool CGoogleAnalyticsMetrics::SendDaysSinceInstall(int days)
{
    return IsEnabled() && Queue(CDaysSinceInstallHit{days});
}

bool CGoogleAnalyticsMetrics::SendException(const CExceptionData& data)
{
    if (!IsEnabled() || (data.kind == 3 && data.description.empty())) {
        return false;
    }
    if (data.kind != 3) {
        return Queue(data);
    }
    CExceptionData crash = data;
    const std::string module = GetOwnModuleName();
    crash.description = module + "_" + CleanCrashDescription(data.description, module);
    SendHitTask(crash, 3, m_shutdown.get_token(), std::nullopt);
    WaitOnShutdown(m_options.shutdownWait);
    return true;
}

bool CGoogleAnalyticsMetrics::SendScreenView(const CScreenViewData& data)
{
    return IsEnabled() && !data.screenName.empty() && Queue(data);
}

bool CGoogleAnalyticsMetrics::StartSession()
{
    return IsEnabled() && Queue(SC_Start);
}

bool CGoogleAnalyticsMetrics::EndSession()
{
    return IsEnabled() && Queue(SC_End);
}

void CGoogleAnalyticsMetrics::SetEnabled(bool enabled)
{
    if (IsEnabled() && !enabled) {
        EndSession();
    }
    m_enabled.exchange(enabled ? 1 : 0);
}

void CGoogleAnalyticsMetrics::SetAutomaticSessionManagement(bool automatic)
{
    m_automaticSessions.exchange(automatic ? 1 : 0);
}

bool CGoogleAnalyticsMetrics::SetUserLanguage(const std::string& language)
{
    if (language.empty()) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_settings.userLanguage = language;
    return true;
}

bool CGoogleAnalyticsMetrics::WaitForPendingHits(int seconds)
{
    return m_pool.WaitIdleFor(std::chrono::seconds(seconds));
}

bool CGoogleAnalyticsMetrics::WaitOnShutdown(std::chrono::milliseconds wait)
{
    // With no other thread left (the process is being torn down) nobody would drain the queue.
    if (CountProcessThreads() <= 1) {
        return false;
    }
    if (m_pool.WaitIdleFor(wait)) {
        return true;
    }
    m_pool.Clear();
    m_shutdown.request_stop();
    m_pool.WaitIdle();
    return false;
}

} // namespace AppMetrics
