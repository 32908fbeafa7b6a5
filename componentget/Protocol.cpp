#include "componentget/Protocol.h"

#include "cxx/core/TextUtils.h"

#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace ComponentGet::Protocol {

namespace {

namespace json = boost::json;

std::string Utf8(const std::wstring& text)
{
    std::string utf8;
    if (!Cxx::Core::Utils::WideToUtf8(text, utf8)) {
        throw std::runtime_error("text does not convert to UTF-8");
    }
    return utf8;
}

bool EqualsIgnoringCase(json::string_view key, const char* name)
{
    std::size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= key.size()) {
            return false;
        }
        char c = key[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != name[i]) {
            return false;
        }
    }
    return i == key.size();
}

// Reads the answer as a stream of parse events, so that every member is seen
// in its order, duplicates included (a DOM keeps only the last duplicate).
class CAnswerHandler {
public:
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);

    std::vector<ComponentInfo> records;

    bool on_document_begin(json::error_code&) { return true; }
    bool on_document_end(json::error_code&) { return true; }

    bool on_array_begin(json::error_code& ec)
    {
        if (m_depth == 0) {
            m_depth = 1;
            return true;
        }
        return Nested(ec);
    }
    bool on_array_end(std::size_t, json::error_code&)
    {
        --m_depth;
        return true;
    }

    bool on_object_begin(json::error_code& ec)
    {
        if (m_depth == 0) {
            return Fail(ec);
        }
        if (m_depth == 1) {
            m_depth = 2;
            m_fields = {};
            m_seen = {};
            return true;
        }
        return Nested(ec);
    }
    bool on_object_end(std::size_t, json::error_code& ec)
    {
        if (m_depth-- != 2) {
            return true;
        }
        for (const std::string& field : m_fields) {
            if (field.empty()) {
                return Fail(ec);
            }
        }
        ComponentInfo record;
        if (!Wide(m_fields[0], record.id) || !Wide(m_fields[1], record.version) || !Wide(m_fields[2], record.url) ||
            !Wide(m_fields[3], record.md5)) {
            return Fail(ec);
        }
        records.push_back(std::move(record));
        return true;
    }

    bool on_key_part(json::string_view part, std::size_t, json::error_code&)
    {
        if (m_depth == 2) {
            m_key.append(part.data(), part.size());
        }
        return true;
    }
    bool on_key(json::string_view part, std::size_t, json::error_code&)
    {
        if (m_depth == 2) {
            m_key.append(part.data(), part.size());
            m_member = m_key;
            m_key.clear();
        }
        return true;
    }

    bool on_string_part(json::string_view part, std::size_t, json::error_code& ec)
    {
        if (m_depth < 2) {
            return Fail(ec);
        }
        if (m_depth == 2) {
            m_text.append(part.data(), part.size());
        }
        return true;
    }
    bool on_string(json::string_view part, std::size_t, json::error_code& ec)
    {
        if (m_depth < 2) {
            return Fail(ec);
        }
        if (m_depth == 2) {
            m_text.append(part.data(), part.size());
            const int field = Claim();
            if (field >= 0) {
                m_fields[field] = m_text;
            }
            m_text.clear();
        }
        return true;
    }

    bool on_number_part(json::string_view, json::error_code&) { return true; }
    bool on_int64(std::int64_t, json::string_view, json::error_code& ec) { return Scalar(ec); }
    bool on_uint64(std::uint64_t, json::string_view, json::error_code& ec) { return Scalar(ec); }
    bool on_double(double, json::string_view, json::error_code& ec) { return Scalar(ec); }
    bool on_bool(bool, json::error_code& ec) { return Scalar(ec); }
    bool on_null(json::error_code& ec) { return Scalar(ec); }
    bool on_comment_part(json::string_view, json::error_code&) { return true; }
    bool on_comment(json::string_view, json::error_code&) { return true; }

private:
    static constexpr std::array<const char*, 4> Names = {"id", "version", "url", "md5"};

    static bool Fail(json::error_code& ec)
    {
        ec = json::error::syntax;
        return false;
    }

    static bool Wide(const std::string& utf8, std::wstring& wide)
    {
        return Cxx::Core::Utils::Utf8ToWide(utf8, wide);
    }

    // The field that the current member fills: the first unseen name it
    // matches, or -1.
    int Claim()
    {
        for (std::size_t i = 0; i < Names.size(); ++i) {
            if (!m_seen[i] && EqualsIgnoringCase(m_member, Names[i])) {
                m_seen[i] = true;
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // A member's value that is not a string: wrong for one of the fields.
    bool Scalar(json::error_code& ec)
    {
        if (m_depth < 2 || (m_depth == 2 && Claim() >= 0)) {
            return Fail(ec);
        }
        return true;
    }

    bool Nested(json::error_code& ec)
    {
        if (!Scalar(ec)) {
            return false;
        }
        ++m_depth;
        return true;
    }

    // 0 outside the answer, 1 in its array, 2 in an element, more inside a member.
    int m_depth = 0;
    std::string m_key;
    std::string m_member;
    std::string m_text;
    std::array<std::string, 4> m_fields;
    std::array<bool, 4> m_seen{};
};

} // namespace

bool CProtocol::BuildRequest(const ComponentsRequest& request, std::wstring& text)
{
    const ApplicationInfo& application = request.application;
    if (application.code.empty()) {
        return false;
    }
    for (const ComponentRequest& component : request.components) {
        if (component.id.empty() || component.arch.empty()) {
            return false;
        }
    }
    try {
        json::object root;
        root["protocolVersion"] = request.protocolVersion;

        json::object app;
        app["code"] = Utf8(application.code);
        if (application.buildId != 0) {
            app["buildId"] = application.buildId;
        }
        const std::pair<const char*, const std::wstring*> optional[] = {{"uid", &application.uid},
                                                                        {"puid", &application.puid},
                                                                        {"version", &application.version},
                                                                        {"language", &application.language}};
        for (const auto& [name, value] : optional) {
            if (!value->empty()) {
                app[name] = Utf8(*value);
            }
        }
        root["application"] = std::move(app);

        json::object os;
        if (!request.os.arch.empty()) {
            os["arch"] = Utf8(request.os.arch);
        }
        if (!request.os.version.empty()) {
            os["version"] = Utf8(request.os.version);
        }
        if (request.os.build != 0) {
            os["build"] = request.os.build;
        }
        root["os"] = std::move(os);

        json::array components;
        for (const ComponentRequest& component : request.components) {
            json::object item;
            item["id"] = Utf8(component.id);
            item["arch"] = Utf8(component.arch);
            item["version"] = Utf8(component.version);
            components.push_back(std::move(item));
        }
        root["components"] = std::move(components);

        std::wstring built;
        if (!Cxx::Core::Utils::Utf8ToWide(json::serialize(root), built)) {
            return false;
        }
        text = std::move(built);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CProtocol::ParseResponse(const std::wstring& text, std::vector<ComponentInfo>& components)
{
    try {
        std::string utf8;
        if (!Cxx::Core::Utils::WideToUtf8(text, utf8) || utf8.empty()) {
            return false;
        }
        json::basic_parser<CAnswerHandler> parser(json::parse_options{});
        json::error_code ec;
        parser.write_some(false, utf8.data(), utf8.size(), ec);
        if (ec || !parser.done()) {
            return false;
        }
        std::vector<ComponentInfo>& records = parser.handler().records;
        components.insert(components.end(), records.begin(), records.end());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace ComponentGet::Protocol
