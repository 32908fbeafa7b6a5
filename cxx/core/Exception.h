#pragma once

#include <exception>
#include <string>

namespace Cxx::Exception {

// Base of the library's exceptions: owns a copy of its message.
class CException : public std::exception {
public:
    CException() = default;
    explicit CException(std::string message) : m_message(std::move(message)), m_hasMessage(true) {}
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;
    ~CException() override = default;

    const char* what() const noexcept override
    {
        return m_hasMessage ? m_message.c_str() : "Unknown exception";
    }

private:
    std::string m_message;
    bool m_hasMessage = false;
};

} // namespace Cxx::Exception
