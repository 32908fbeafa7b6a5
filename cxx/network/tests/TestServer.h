#pragma once

// Client side of tests/servers/scripted.py: its port, its script and its records.

#include <boost/json.hpp>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
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
    explicit CTestServer(const std::string& name)
    {
        const std::string upper = name == "https" ? "HTTPS" : "SCRIPTED";
        const char* port = std::getenv(("KV_" + upper + "_PORT").c_str());
        const char* dir = std::getenv("KV_SERVER_DIR_WIN");
        if (port && dir) {
            m_port = static_cast<std::uint16_t>(std::atoi(port));
            m_dir = std::string(dir) + "\\" + name;
        }
    }

    bool Running() const { return m_port != 0; }
    std::uint16_t Port() const { return m_port; }

    void SetRoutes(const std::string& json) const { WriteFile("routes.json", json); }

    void WriteFile(const std::string& name, const std::string& bytes) const
    {
        const std::string temporary = m_dir + "\\" + name + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            ASSERT_TRUE(out.good()) << temporary;
        }
        // The server reads the script at each request: never let it see half a file.
        ASSERT_TRUE(::MoveFileExA(temporary.c_str(), (m_dir + "\\" + name).c_str(), MOVEFILE_REPLACE_EXISTING));
    }

    std::vector<CRecordedRequest> Requests() const
    {
        std::vector<CRecordedRequest> requests;
        std::ifstream in(m_dir + "\\requests.jsonl", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
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
    std::uint16_t m_port = 0;
    std::string m_dir;
};

// Deterministic bytes that no shifted copy of themselves matches.
inline std::string Payload(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace KvTest
