#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Every narrow text of this library is UTF-8: callers convert wide text with
// Cxx::Core::Utils::WideToUtf8String, never by dropping high bytes.
namespace AppMetrics {

struct CEventData {
    CEventData() = default;
    CEventData(std::string action, std::string category, std::string screenName, std::int64_t value)
        : action(std::move(action)), category(std::move(category)), screenName(std::move(screenName)), value(value)
    {
    }

    std::string action;
    std::string category;
    std::string screenName;
    // -1: the event carries no value.
    std::int64_t value = -1;
};

struct CExceptionData {
    CExceptionData() = default;
    CExceptionData(std::string description, std::string errorId, std::int32_t code, std::int32_t kind)
        : description(std::move(description)), errorId(std::move(errorId)), code(code), kind(kind)
    {
    }

    std::string description;
    std::string errorId;
    // 0: no code.
    std::int32_t code = 0;
    // 2 and 3 are fatal; 3 is a crash report, sent on the caller's thread.
    std::int32_t kind = 0;
};

using UtcTimePoint = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

struct CTimingData {
    CTimingData() = default;
    CTimingData(std::string variable, std::string category, std::int64_t time, std::optional<UtcTimePoint> start)
        : variable(std::move(variable)), category(std::move(category)), time(time), start(start)
    {
    }

    std::string variable;
    std::string category;
    // Milliseconds (or seconds, for ITiming::SendElapsedSeconds).
    std::int64_t time = 0;
    // No start: a timing measures from its own creation.
    std::optional<UtcTimePoint> start;
};

struct CScreenViewData {
    std::string screenName;
};

struct CBuildId {
    std::string buildId;
};

enum ESessionControl : int {
    SC_Start = 0,
    SC_End = 1,
};

enum EApplicationStartType : int {
    AST_Unspecified = 0,
    AST_Manual = 1,
    AST_SystemStartup = 2,
    AST_FirstStartAfterInstall = 3,
};

// Where hits are posted: scheme://host:port/path.
struct CCollectorEndpoint {
    std::wstring host;
    std::uint16_t port = 443;
    bool https = true;
    std::wstring path = L"collect";

    // The endpoint of the build configuration.
    static CCollectorEndpoint Configured();
};

class CGoogleAnalyticsSettings {
public:
    CGoogleAnalyticsSettings() = default;
    // Builds the OS description of the running Windows; the endpoint is the configured one.
    CGoogleAnalyticsSettings(std::string trackingId, std::string clientId, std::string applicationVersion,
                             std::string applicationName, std::string userLanguage, std::string productCode);

    std::string trackingId;         // tid
    std::string clientId;           // cid
    std::string applicationVersion; // av
    std::string applicationName;    // an
    std::string userLanguage;       // ul
    std::string productCode;        // ci
    // The user agent of every hit.
    std::string osDescription = "Unknown";
    CCollectorEndpoint endpoint = CCollectorEndpoint::Configured();
};

// "major.minor_64bit (Windows NT major.minor; WOW64)", or "Unknown" without a version.
std::string BuildOsDescription(std::optional<std::pair<unsigned, unsigned>> version, bool wow64);

} // namespace AppMetrics
