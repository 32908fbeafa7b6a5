#pragma once

#include <cstddef>
#include <string_view>

namespace ProductSettings {

// True when text is a well-formed XML document, as the property-tree reader
// splits it into markup, with no element nested deeper than maxDepth: each
// closing tag names the element it closes, there is one root element, a
// document type stands only before it, and every reference is one of the
// five predefined entities or a character reference. The reader checks none
// of these, and it descends one call per element, so a far deeper file
// would exhaust the stack before it could fail.
bool IsWellFormedArchive(std::wstring_view text, std::size_t maxDepth);

} // namespace ProductSettings
