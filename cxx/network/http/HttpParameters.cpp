#include "cxx/network/http/HttpParameters.h"

#include "cxx/core/TextUtils.h"
#include "cxx/network/NetworkException.h"

#include <windows.h>

namespace Cxx::Network::Http::HttpClient {

using Exception::CNetworkException;
using Exception::NEC_Parameter;

namespace {

std::string ToUtf8(const std::wstring& text)
{
    std::string utf8;
    if (!Core::Utils::WideToUtf8(text, utf8)) {
        const DWORD error = ::GetLastError();
        throw CNetworkException(NEC_Parameter, "Can't convert parameter to UTF-8 encoding.", error);
    }
    return utf8;
}

} // namespace

const char* CStringParameter::GetBuffer(std::size_t& size) const
{
    if (m_text.empty()) {
        throw CNetworkException(NEC_Parameter, "Parameter is empty.", 0);
    }
    size = m_text.size();
    return m_text.data();
}

CSimpleTextParameter::CSimpleTextParameter(const std::wstring& text)
{
    m_text = ToUtf8(text);
}

CSimpleTextParameter::CSimpleTextParameter(const std::wstring& name, const std::wstring& value)
{
    const std::string utf8Value = ToUtf8(value);
    m_text = ToUtf8(name) + "=" + utf8Value;
}

CSimpleJSONParameter::CSimpleJSONParameter(const char* name, const char* value, bool wrap)
    : CSimpleJSONParameter(std::string(name ? name : ""), std::string(value ? value : ""), wrap)
{
}

CSimpleJSONParameter::CSimpleJSONParameter(const std::string& name, const std::string& value, bool wrap)
{
    m_text = wrap && !name.empty() ? "{\"" + name + "\":\"" + value + "\"}" : value;
}

template <char Separator>
void CSimpleParametersSet<Separator>::AddParameter(const std::shared_ptr<IParameter>& parameter)
{
    if (!parameter) {
        return;
    }
    std::size_t size = 0;
    const char* bytes = parameter->GetBuffer(size);
    if (!bytes || size == 0) {
        throw CNetworkException(NEC_Parameter, "Parameter is empty or returned parameter's buffer is incorrect.", 0);
    }
    if (!m_text.empty()) {
        m_text += Separator;
    }
    m_text.append(bytes, size);
}

template <char Separator>
const char* CSimpleParametersSet<Separator>::GetBuffer(std::size_t& size) const
{
    if (m_text.empty()) {
        throw CNetworkException(NEC_Parameter, "Parameters' list is empty.", 0);
    }
    size = m_text.size();
    return m_text.data();
}

template class CSimpleParametersSet<'&'>;

} // namespace Cxx::Network::Http::HttpClient
