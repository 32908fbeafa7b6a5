#include "appmetrics/AppMetrics.h"

#include "appmetrics/GoogleAnalyticsMetrics.h"
#include "cxx/core/SystemUtils.h"
#include "kv_config.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace AppMetrics {
namespace {

// Set once by the starting thread before any other thread uses the facade.
std::shared_ptr<IMetrics> g_metrics;
std::atomic<bool> g_sessionStarted{false};

} // namespace

CCollectorEndpoint CCollectorEndpoint::Configured()
{
    CCollectorEndpoint endpoint;
    endpoint.host = KV_ANALYTICS_HOST;
    endpoint.port = static_cast<std::uint16_t>(KV_ANALYTICS_PORT);
    endpoint.https = KV_ANALYTICS_HTTPS != 0;
    return endpoint;
}

std::string BuildOsDescription(std::optional<std::pair<unsigned, unsigned>> version, bool wow64)
{
    if (!version) {
        return "Unknown";
    }
    const std::string number = std::to_string(version->first) + "." + std::to_string(version->second);
    return number + (wow64 ? "_64bit" : "_32bit") + " (Windows NT " + number + "; WOW" + (wow64 ? "64" : "32") + ")";
}

CGoogleAnalyticsSettings::CGoogleAnalyticsSettings(std::string trackingId, std::string clientId,
                                                   std::string applicationVersion, std::string applicationName,
                                                   std::string userLanguage, std::string productCode)
    : trackingId(std::move(trackingId)),
      clientId(std::move(clientId)),
      applicationVersion(std::move(applicationVersion)),
      applicationName(std::move(applicationName)),
      userLanguage(std::move(userLanguage)),
      productCode(std::move(productCode))
{
    DWORD major = 0;
    DWORD minor = 0;
    DWORD productType = 0;
    DWORD suiteMask = 0;
    std::optional<std::pair<unsigned, unsigned>> version;
    if (Cxx::Core::Utils::GetWindowsVersion(major, minor, productType, suiteMask)) {
        version.emplace(major, minor);
    }
    osDescription = BuildOsDescription(version, version && Cxx::Core::Utils::Is64BitWindows());
}

bool NormalizeClientId(const std::string& input, std::string& output)
{
    if (input.empty()) {
        return false;
    }
    std::string digits;
    for (const char c : input) {
        if (c != '-') {
            digits += c;
        }
    }
    if (digits.size() != 32 && digits.size() != 40) {
        return false;
    }
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    if (!std::all_of(digits.begin(), digits.end(), isHex)) {
        return false;
    }
    if (digits.size() == 32) {
        for (const std::size_t at : {8, 13, 18, 23}) {
            digits.insert(at, 1, '-');
        }
    }
    output = digits;
    return true;
}

std::shared_ptr<IMetrics> CreateMetrics(const CGoogleAnalyticsSettings& settings, const CMetricsOptions& options)
{
    CGoogleAnalyticsSettings copy = settings;
    std::string clientId;
    if (!NormalizeClientId(copy.clientId, clientId) || copy.trackingId.empty() || copy.applicationName.empty() ||
        copy.applicationVersion.empty()) {
        return nullptr;
    }
    if (copy.userLanguage.empty()) {
        copy.userLanguage = "not-set";
    }
    copy.clientId = clientId;
    try {
        return std::make_shared<CGoogleAnalyticsMetrics>(copy, options);
    } catch (const std::system_error&) {
        // No worker thread: the program runs on without analytics.
        return nullptr;
    }
}

void InitializeMetrics(const CGoogleAnalyticsSettings& settings, const CMetricsOptions& options)
{
    if (!g_metrics) {
        g_metrics = CreateMetrics(settings, options);
    }
}

void SetAutomaticSessionManagement(bool automatic)
{
    if (g_metrics) {
        g_metrics->SetAutomaticSessionManagement(automatic);
    }
}

std::unique_ptr<ITiming> CreateTiming(const CTimingData& data)
{
    return g_metrics ? g_metrics->CreateTiming(data) : nullptr;
}

void SetEnabled(bool enabled)
{
    if (g_metrics) {
        g_metrics->SetEnabled(enabled);
    }
}

bool WaitForPendingHits(int seconds)
{
    return g_metrics && g_metrics->WaitForPendingHits(seconds);
}

bool IsSessionStarted()
{
    return UpdateSessionStartedFlag(false, false);
}

bool SendEvent(const CEventData& data)
{
    return g_metrics && g_metrics->SendEvent(data);
}

bool SendException(const CExceptionData& data)
{
    return g_metrics && g_metrics->SendException(data);
}

bool SendScreenView(const CScreenViewData& data)
{
    return g_metrics && g_metrics->SendScreenView(data);
}

bool StartSession()
{
    return g_metrics && g_metrics->StartSession();
}

bool EndSession()
{
    return g_metrics && g_metrics->EndSession();
}

void ShutdownMetrics()
{
    g_metrics.reset();
}

bool UpdateSessionStartedFlag(bool set, bool value)
{
    if (set) {
        g_sessionStarted.exchange(value);
        return value;
    }
    return g_sessionStarted.load();
}

} // namespace AppMetrics
