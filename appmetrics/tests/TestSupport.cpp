#include "appmetrics/tests/TestSupport.h"

#include "cxx/core/TextUtils.h"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace AppMetricsTest {
namespace {

std::wstring Environment(const wchar_t* name)
{
    wchar_t buffer[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

} // namespace

std::chrono::microseconds CFakeClock::Steady()
{
    std::lock_guard lock(m_mutex);
    return m_steady;
}

AppMetrics::UtcTimePoint CFakeClock::Utc()
{
    std::lock_guard lock(m_mutex);
    return m_utc;
}

void CFakeClock::Advance(std::chrono::microseconds step)
{
    std::lock_guard lock(m_mutex);
    m_steady += step;
    m_utc += step;
}

bool CFakeSleeper::SleepFor(std::chrono::milliseconds duration, std::stop_token stop)
{
    if (stop.stop_requested()) {
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_pauses.push_back(duration);
    }
    m_clock.Advance(duration);
    return true;
}

std::vector<std::chrono::milliseconds> CFakeSleeper::Pauses()
{
    std::lock_guard lock(m_mutex);
    return m_pauses;
}

std::string CRecordedHit::Field(const std::string& name) const
{
    for (const auto& [key, value] : fields) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

std::size_t CRecordedHit::Count(const std::string& name) const
{
    std::size_t count = 0;
    for (const auto& field : fields) {
        count += field.first == name ? 1 : 0;
    }
    return count;
}

std::vector<std::string> CRecordedHit::Names() const
{
    std::vector<std::string> names;
    for (const auto& field : fields) {
        names.push_back(field.first);
    }
    return names;
}

std::wstring CCollector::Folder()
{
    const std::wstring root = Environment(L"KV_SERVER_DIR_WIN");
    EXPECT_FALSE(root.empty()) << "the test runs without its collector";
    return root + L"\\collector";
}

AppMetrics::CCollectorEndpoint CCollector::Endpoint()
{
    AppMetrics::CCollectorEndpoint endpoint;
    endpoint.host = L"127.0.0.1";
    endpoint.port = static_cast<std::uint16_t>(std::stoi(L"0" + Environment(L"KV_COLLECTOR_PORT")));
    endpoint.https = false;
    EXPECT_NE(endpoint.port, 0) << "the test runs without its collector";
    return endpoint;
}

void CCollector::Script(const std::string& lines)
{
    std::ofstream script(std::filesystem::path(Folder() + L"\\responses"), std::ios::binary | std::ios::trunc);
    script << lines;
    ASSERT_TRUE(script.good());
}

std::vector<CRecordedHit> CCollector::Hits()
{
    std::vector<CRecordedHit> hits;
    std::ifstream log(std::filesystem::path(Folder() + L"\\hits.jsonl"), std::ios::binary);
    std::string line;
    while (std::getline(log, line)) {
        if (line.empty()) {
            continue;
        }
        const boost::json::object entry = boost::json::parse(line).as_object();
        CRecordedHit hit;
        hit.path = entry.at("path").as_string().c_str();
        hit.userAgent = entry.at("user_agent").as_string().c_str();
        hit.body = entry.at("body").as_string().c_str();
        const boost::json::value& status = entry.at("status");
        hit.status = status.is_string() ? std::string(status.as_string().c_str()) : std::to_string(status.to_number<int>());
        for (const boost::json::value& pair : entry.at("fields").as_array()) {
            const boost::json::array& field = pair.as_array();
            hit.fields.emplace_back(field.at(0).as_string().c_str(), field.at(1).as_string().c_str());
        }
        hits.push_back(std::move(hit));
    }
    return hits;
}

bool CCollector::WaitForHits(std::size_t count, std::chrono::seconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (Hits().size() < count) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

AppMetrics::CGoogleAnalyticsSettings CollectorSettings()
{
    AppMetrics::CGoogleAnalyticsSettings settings("UA-12345-6", "0123456789abcdef0123456789ABCDEF", "7.0.0.1125",
                                                  "Vellix PDF Pro", "en-US", "QXPDF");
    settings.endpoint = CCollector::Endpoint();
    return settings;
}

} // namespace AppMetricsTest
