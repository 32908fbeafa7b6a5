#pragma once

#include "componentget/ComponentGet.h"

#include <string>
#include <vector>

namespace ComponentGet::Protocol {

class IProtocol {
public:
    virtual ~IProtocol() = default;
    // The request as compact JSON. False, with the output untouched, when the
    // product code or a component's id or architecture is empty.
    virtual bool BuildRequest(const ComponentsRequest& request, std::wstring& text) = 0;
    // Appends the components of an answer. False, with the output untouched,
    // when the answer is not a JSON array of objects that each hold non-empty
    // "id", "version", "url" and "md5" strings (names in any case, the first
    // match wins). Text after the array is ignored.
    virtual bool ParseResponse(const std::wstring& text, std::vector<ComponentInfo>& components) = 0;
};

class CProtocol : public IProtocol {
public:
    bool BuildRequest(const ComponentsRequest& request, std::wstring& text) override;
    bool ParseResponse(const std::wstring& text, std::vector<ComponentInfo>& components) override;
};

} // namespace ComponentGet::Protocol
