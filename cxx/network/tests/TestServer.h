#pragma once

// Client side of tests/servers/scripted.py: its port, its script and its records.

#include "tests/support/Loopback.h"

#include <boost/json.hpp>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace KvTest {

struct CRecordedRequest {
    std::string method;
    std::string target;
    std::string query;
    std::string body;
    std::string answer;
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first header of that name (any case), or "<none>".
    std::string Header(const std::string& name) const
    {
        for (const auto& [key, value] : headers) {
            if (_stricmp(key.c_str(), name.c_str()) == 0) {
                return value;
            }
        }
        return "<none>";
    }
};

class CTestServer {
public:
    // name is the server module: "scripted" or "https" (the same server over TLS).
    explicit CTestServer(const std::string& name) : m_name(name) {}

    bool Running() const { return Port() != 0; }
    std::uint16_t Port() const { return Loopback::Port(m_name.c_str()); }

    void SetRoutes(const std::string& json) const { WriteFile("routes.json", json); }

    // The server reads its script at each request; the write is atomic.
    void WriteFile(const std::string& name, const std::string& bytes) const
    {
        Loopback::WriteBytes(Loopback::Folder(m_name.c_str()) + L"\\" + Cxx::Core::Utils::Utf8ToWideString(name), bytes);
    }

    std::vector<CRecordedRequest> Requests() const
    {
        std::vector<CRecordedRequest> requests;
        for (const std::string& line : Loopback::Requests(m_name.c_str())) {
            const auto object = boost::json::parse(line).as_object();
            CRecordedRequest request;
            request.method = object.at("method").as_string().c_str();
            request.target = object.at("target").as_string().c_str();
            request.query = object.at("query").as_string().c_str();
            request.answer = object.at("answer").as_string().c_str();
            const std::string hex = object.at("body_hex").as_string().c_str();
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
                request.body.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            }
            for (const auto& pair : object.at("headers").as_array()) {
                request.headers.emplace_back(pair.as_array()[0].as_string().c_str(),
                                             pair.as_array()[1].as_string().c_str());
            }
            requests.push_back(std::move(request));
        }
        return requests;
    }

private:
    std::string m_name;
};

} // namespace KvTest
