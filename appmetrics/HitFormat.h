#pragma once

#include "appmetrics/MetricsData.h"

#include <string>
#include <utility>
#include <vector>

namespace AppMetrics {

// The parameters of one hit, in order; names and values are UTF-8 and not yet encoded.
class CHitParameters {
public:
    void Add(std::string name, std::string value);
    // Adds sc only when the hit has none yet: a hit may carry one session parameter.
    void AddSessionControl(const std::string& value);
    // The value of sc, empty when there is none.
    std::string SessionControl() const;

    const std::vector<std::pair<std::string, std::string>>& Items() const { return m_items; }

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

// Percent-encodes every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~).
std::string PercentEncode(const std::string& utf8);
// The body as posted: name=value pairs joined by "&", every value percent-encoded.
std::string EncodeBody(const CHitParameters& parameters);

// Fixed categories and actions.
namespace FixedEventNames {
inline constexpr const char* General = "General";
inline constexpr const char* Install = "Install";
inline constexpr const char* SessionControl = "SessionControl";
inline constexpr const char* CurrentLocale = "CurrentLocale";
inline constexpr const char* BuildId = "BuildId";
inline constexpr const char* ApplicationStartType = "ApplicationStartType";
inline constexpr const char* DaysSinceInstall = "DaysSinceInstall";
} // namespace FixedEventNames

const char* ApplicationStartTypeText(int type);
std::string DaysSinceInstallBucket(int days);

// The pieces of Windows that exception descriptions and the user agent name.
struct COsFacts {
    // "6.1" from kernel32's file version, "L" appended on a 32-bit Windows; empty when unknown.
    std::string kernelTag;

    static COsFacts Current();
};

// id and code, the OS tag and the description joined by "_", cut to the whole
// characters that take at most 150 bytes once percent-encoded.
std::string BuildExceptionDescription(const CExceptionData& data, const COsFacts& os);

// The program's file name without folder and extension, UTF-8.
std::string GetOwnModuleName();
// Keeps the frames of a crash description that belong to the module, prefixed by its name.
std::string CleanCrashDescription(const std::string& description, const std::string& moduleName);

void BuildCommonParameters(CHitParameters& parameters, const CGoogleAnalyticsSettings& settings);
void BuildEventParameters(CHitParameters& parameters, const CEventData& data);
void BuildScreenViewParameters(CHitParameters& parameters, const CScreenViewData& data);
void BuildTimingParameters(CHitParameters& parameters, const CTimingData& data);
void BuildExceptionParameters(CHitParameters& parameters, const CExceptionData& data, const COsFacts& os);
void BuildDaysSinceInstallParameters(CHitParameters& parameters, int days);
void BuildBuildIdParameters(CHitParameters& parameters, const CBuildId& data);
void BuildCurrentLocaleParameters(CHitParameters& parameters, const std::string& locale);
void BuildApplicationStartTypeParameters(CHitParameters& parameters, EApplicationStartType type);
// Also records in the process-wide flag whether a session is running.
void BuildSessionControlParameters(CHitParameters& parameters, ESessionControl control);

} // namespace AppMetrics
