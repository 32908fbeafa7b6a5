#include "appmetrics/HitFormat.h"

#include "appmetrics/AppMetrics.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace AppMetrics {
namespace {

constexpr std::size_t MaxExceptionDescriptionLength = 150;

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// The longest run of whole characters whose encoding takes at most limit
// bytes, so that neither an escape nor a UTF-8 sequence is split.
std::string CutEncoded(const std::string& utf8, std::size_t limit)
{
    std::size_t encoded = 0;
    std::size_t characterStart = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) != 0x80) {
            characterStart = i;
        }
        encoded += IsUnreserved(c) ? 1 : 3;
        if (encoded > limit) {
            return utf8.substr(0, characterStart);
        }
    }
    return utf8;
}

std::string HexCode(std::int32_t code)
{
    static const char digits[] = "0123456789abcdef";
    auto bits = static_cast<std::uint32_t>(code);
    std::string text;
    do {
        text.insert(text.begin(), digits[bits & 0xF]);
        bits >>= 4;
    } while (bits != 0);
    return text;
}

void AddFixedEvent(CHitParameters& parameters, const char* category, const char* action)
{
    parameters.Add("t", "event");
    parameters.Add("ec", category);
    parameters.Add("ea", action);
}

} // namespace

void CHitParameters::Add(std::string name, std::string value)
{
    m_items.emplace_back(std::move(name), std::move(value));
}

void CHitParameters::AddSessionControl(const std::string& value)
{
    if (SessionControl().empty()) {
        Add("sc", value);
    }
}

std::string CHitParameters::SessionControl() const
{
    const auto found = std::find_if(m_items.begin(), m_items.end(), [](const auto& item) { return item.first == "sc"; });
    return found == m_items.end() ? std::string() : found->second;
}

std::string PercentEncode(const std::string& utf8)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size());
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += digits[c >> 4];
            encoded += digits[c & 0xF];
        }
    }
    return encoded;
}

std::string EncodeBody(const CHitParameters& parameters)
{
    std::string body;
    for (const auto& [name, value] : parameters.Items()) {
        if (!body.empty()) {
            body += '&';
        }
        body += name + "=" + PercentEncode(value);
    }
    return body;
}

const char* ApplicationStartTypeText(int type)
{
    switch (type) {
    case AST_Manual:
        return "AST_Manual";
    case AST_SystemStartup:
        return "AST_SystemStartup";
    case AST_FirstStartAfterInstall:
        return "AST_FirstStartAfterInstall";
    default:
        return "AST_Unspecified";
    }
}

std::string DaysSinceInstallBucket(int days)
{
    struct Bucket {
        int first;
        int last;
        const char* text;
    };
    static const Bucket buckets[] = {
        {8, 14, "8-14"},      {15, 29, "15-29"},    {30, 44, "30-44"},     {45, 59, "45-59"},
        {60, 89, "60-89"},    {90, 119, "90-119"},  {120, 179, "120-179"}, {180, 269, "180-269"},
        {270, 364, "270-364"}, {365, 729, "365-729"},
    };
    if (days >= 0 && days <= 7) {
        return std::to_string(days);
    }
    for (const Bucket& bucket : buckets) {
        if (days >= bucket.first && days <= bucket.last) {
            return bucket.text;
        }
    }
    return "730";
}

COsFacts COsFacts::Current()
{
    COsFacts facts;
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    DWORD revision = 0;
    if (Cxx::Core::Utils::GetKernel32Version(major, minor, build, revision)) {
        facts.kernelTag = std::to_string(major) + "." + std::to_string(minor);
        if (!Cxx::Core::Utils::Is64BitWindows()) {
            facts.kernelTag += "L";
        }
    }
    return facts;
}

std::string BuildExceptionDescription(const CExceptionData& data, const COsFacts& os)
{
    std::string id = data.errorId;
    if (data.code != 0) {
        id += HexCode(data.code);
    }
    std::string text;
    if (!id.empty()) {
        text = id + "_";
    }
    text += os.kernelTag;
    if (!data.description.empty()) {
        text += "_" + data.description;
    }
    // The limit holds for the text as it travels, escapes included.
    return CutEncoded(text, MaxExceptionDescriptionLength);
}

std::string GetOwnModuleName()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const std::wstring path(buffer, length);
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return {};
    }
    const std::size_t dot = path.find(L'.', slash);
    if (dot == std::wstring::npos) {
        return {};
    }
    return Cxx::Core::Utils::WideToUtf8String(path.substr(slash + 1, dot - slash - 1));
}

std::string CleanCrashDescription(const std::string& description, const std::string& moduleName)
{
    bool found = moduleName.empty();
    std::string result;
    std::size_t lineStart = 0;
    while (lineStart < description.size()) {
        const std::size_t feed = description.find('\n', lineStart);
        const std::size_t lineEnd = feed == std::string::npos ? description.size() : feed + 1;
        const std::string line = description.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd;

        const std::size_t dot = line.find('.');
        if (dot == std::string::npos) {
            continue;
        }
        const std::size_t paren = line.find('(', dot);
        const std::string tail = line.substr(dot, paren == std::string::npos ? std::string::npos : paren - dot);
        const std::size_t space = dot == 0 ? std::string::npos : line.rfind(' ', dot - 1);
        const std::size_t wordStart = space == std::string::npos ? 0 : space + 1;
        std::string word = line.substr(wordStart, dot - wordStart);
        const std::size_t firstAt = word.find('@');
        if (firstAt != std::string::npos) {
            const std::size_t secondAt = word.find('@', firstAt + 1);
            if (secondAt != std::string::npos) {
                word.erase(secondAt);
            }
        }

        std::string piece;
        if (!moduleName.empty() && tail.find(moduleName) != std::string::npos) {
            piece = word;
            found = true;
        } else if (found) {
            piece = word + tail;
        }
        std::erase_if(piece, [](char c) { return c == '?' || c == '$'; });
        if (!piece.empty() && (found || piece.find(moduleName) != std::string::npos)) {
            found = true;
            if (!result.empty()) {
                result += "-";
            }
            result += piece;
        }
    }
    if (!result.empty()) {
        result.insert(0, moduleName.empty() ? std::string() : moduleName + "_");
    }
    std::replace(result.begin(), result.end(), '@', '*');
    return result;
}

void BuildCommonParameters(CHitParameters& parameters, const CGoogleAnalyticsSettings& settings)
{
    parameters.Add("v", "1");
    parameters.Add("tid", settings.trackingId);
    parameters.Add("cid", settings.clientId);
    parameters.Add("an", settings.applicationName);
    parameters.Add("av", settings.applicationVersion);
    parameters.Add("ul", settings.userLanguage);
    parameters.Add("ci", settings.productCode);
}

void BuildEventParameters(CHitParameters& parameters, const CEventData& data)
{
    parameters.Add("t", "event");
    parameters.Add("ec", data.category);
    parameters.Add("ea", data.action);
    if (data.value != -1) {
        parameters.Add("ev", std::to_string(data.value));
    }
    if (!data.screenName.empty()) {
        parameters.Add("cd", data.screenName);
    }
}

void BuildScreenViewParameters(CHitParameters& parameters, const CScreenViewData& data)
{
    parameters.Add("t", "screenview");
    parameters.Add("cd", data.screenName);
}

void BuildTimingParameters(CHitParameters& parameters, const CTimingData& data)
{
    parameters.Add("t", "timing");
    parameters.Add("utc", data.category);
    parameters.Add("utv", data.variable);
    parameters.Add("utt", std::to_string(data.time));
}

void BuildExceptionParameters(CHitParameters& parameters, const CExceptionData& data, const COsFacts& os)
{
    parameters.Add("t", "exception");
    parameters.Add("exd", BuildExceptionDescription(data, os));
    parameters.Add("exf", data.kind == 2 || data.kind == 3 ? "1" : "0");
    if (data.kind == 3) {
        parameters.AddSessionControl("end");
    }
}

void BuildDaysSinceInstallParameters(CHitParameters& parameters, int days)
{
    AddFixedEvent(parameters, FixedEventNames::Install, FixedEventNames::DaysSinceInstall);
    parameters.Add("cd5", DaysSinceInstallBucket(days));
}

void BuildBuildIdParameters(CHitParameters& parameters, const CBuildId& data)
{
    AddFixedEvent(parameters, FixedEventNames::General, FixedEventNames::BuildId);
    parameters.Add("cd3", data.buildId);
}

void BuildCurrentLocaleParameters(CHitParameters& parameters, const std::string& locale)
{
    AddFixedEvent(parameters, FixedEventNames::General, FixedEventNames::CurrentLocale);
    parameters.Add("cd2", locale);
}

void BuildApplicationStartTypeParameters(CHitParameters& parameters, EApplicationStartType type)
{
    AddFixedEvent(parameters, FixedEventNames::General, FixedEventNames::ApplicationStartType);
    parameters.Add("cd4", ApplicationStartTypeText(type));
}

void BuildSessionControlParameters(CHitParameters& parameters, ESessionControl control)
{
    const char* word = control == SC_Start ? "start" : "end";
    AddFixedEvent(parameters, FixedEventNames::SessionControl, word);
    parameters.AddSessionControl(word);
    UpdateSessionStartedFlag(true, control == SC_Start);
}

} // namespace AppMetrics
