#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace Cxx::Network::Http::HttpClient {

// One run of UTF-8 bytes of a request body or query.
class IParameter {
public:
    virtual ~IParameter() = default;
    // The bytes stay valid while the parameter lives. Throws CNetworkException
    // (code 0) by value when the parameter is empty.
    virtual const char* GetBuffer(std::size_t& size) const = 0;
};

// Shared by the text parameters: the bytes are one narrow string.
class CStringParameter : public IParameter {
public:
    const char* GetBuffer(std::size_t& size) const override;

protected:
    std::string m_text;
};

// The UTF-8 of a wide text, or of "name=value" as given (nothing is escaped).
class CSimpleTextParameter : public CStringParameter {
public:
    explicit CSimpleTextParameter(const std::wstring& text);
    CSimpleTextParameter(const std::wstring& name, const std::wstring& value);
};

// {"name":"value"} when wrap is set and name is not empty (no escaping), else
// value unchanged. A null pointer counts as an empty text.
class CSimpleJSONParameter : public CStringParameter {
public:
    CSimpleJSONParameter(const char* name, const char* value, bool wrap);
    CSimpleJSONParameter(const std::string& name, const std::string& value, bool wrap);
};

class IParametersSet {
public:
    virtual ~IParametersSet() = default;
    // A null pointer is ignored. Throws CNetworkException (code 0) by value
    // when the parameter is empty; the set is then left unchanged.
    virtual void AddParameter(const std::shared_ptr<IParameter>& parameter) = 0;
    virtual void Clear() = 0;
    // The parameters joined by the separator. Throws CNetworkException (code 0)
    // by value when the set is empty.
    virtual const char* GetBuffer(std::size_t& size) const = 0;
};

template <char Separator>
class CSimpleParametersSet : public IParametersSet {
public:
    void AddParameter(const std::shared_ptr<IParameter>& parameter) override;
    void Clear() override { m_text.clear(); }
    const char* GetBuffer(std::size_t& size) const override;

private:
    std::string m_text;
};

extern template class CSimpleParametersSet<'&'>;

// The same set; the names tell the use (query string or POST body).
using CSimpleGetParametersSet = CSimpleParametersSet<'&'>;
using CSimplePostParametersSet = CSimpleParametersSet<'&'>;

} // namespace Cxx::Network::Http::HttpClient
