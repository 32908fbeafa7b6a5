#pragma once

#include <cstddef>
#include <map>
#include <regex>
#include <string>
#include <string_view>

namespace Cxx::Core::Utils {

// Splits a command line into option names and values and adds each pair whose
// name is not yet a key (the first occurrence wins). True when any option was
// found. Shared by the setup program (wide text) and the analytics utility
// (narrow text).
//
// The rules are those of the expression
//   (^|[\s]{1})([\/-]{1}\w+)((\s*[=\s]{1}\s*"([^"]*)"|\s*[=\s]{1}\s*([^-\/\s]{1}[^"\s]*))?|$)
// searched again and again on the text after each match, so "^" also matches
// at the start of every remainder. It is not run through std::regex, whose
// backtracking recurses once per character and overflows the stack on long
// quoted values; this scanner takes the same choices in the same order in
// constant stack depth and linear time. Character classes come from
// std::regex_traits, so "blank" and "word character" mean what they mean
// there.
template <typename CharT>
bool TokenizeOptions(std::basic_string_view<CharT> text,
                     std::map<std::basic_string<CharT>, std::basic_string<CharT>>& options)
{
    using String = std::basic_string<CharT>;
    constexpr std::size_t none = String::npos;
    const CharT quote = CharT('"');
    const CharT equals = CharT('=');
    const CharT slash = CharT('/');
    const CharT dash = CharT('-');

    const std::regex_traits<CharT> traits;
    const CharT spaceClassName[] = {CharT('s')};
    const CharT wordClassName[] = {CharT('w')};
    const auto spaceClass = traits.lookup_classname(spaceClassName, spaceClassName + 1);
    const auto wordClass = traits.lookup_classname(wordClassName, wordClassName + 1);

    const std::size_t n = text.size();
    const auto isSpace = [&](std::size_t i) { return i < n && traits.isctype(text[i], spaceClass); };
    const auto isWord = [&](std::size_t i) { return i < n && traits.isctype(text[i], wordClass); };
    const auto skipSpaces = [&](std::size_t i) {
        while (isSpace(i)) {
            ++i;
        }
        return i;
    };
    // A bare value cannot begin with a blank, "-" or "/".
    const auto isBareStart = [&](std::size_t i) {
        return i < n && !isSpace(i) && text[i] != dash && text[i] != slash;
    };
    // "/" or "-" and at least one word character; nameEnd is after the last.
    const auto nameAt = [&](std::size_t i, std::size_t& nameEnd) {
        if (i >= n || (text[i] != slash && text[i] != dash) || !isWord(i + 1)) {
            return false;
        }
        nameEnd = i + 2;
        while (isWord(nameEnd)) {
            ++nameEnd;
        }
        return true;
    };
    // Queries come with growing positions, so one cursor finds every closing
    // quote and the whole scan stays linear.
    bool quoteKnown = false;
    std::size_t knownQuote = none;
    const auto nextQuote = [&](std::size_t from) {
        if (!quoteKnown || (knownQuote != none && knownQuote < from)) {
            knownQuote = text.find(quote, from);
            quoteKnown = true;
        }
        return knownQuote;
    };

    bool found = false;
    std::size_t base = 0;
    for (;;) {
        std::size_t nameBegin = none;
        std::size_t nameEnd = 0;
        for (std::size_t p = base; p < n; ++p) {
            if (p == base && nameAt(p, nameEnd)) {
                nameBegin = p;
                break;
            }
            if (isSpace(p) && nameAt(p + 1, nameEnd)) {
                nameBegin = p + 1;
                break;
            }
        }
        if (nameBegin == none) {
            return found;
        }
        found = true;

        // The separator is blanks, or "=" with optional blanks around it. With
        // "=" after the blanks, the value is looked for after "=" first, then
        // (when there were blanks) at the "=" itself.
        const std::size_t q = nameEnd;
        const std::size_t j = skipSpaces(q);
        const bool equalsAfterBlanks = j < n && text[j] == equals;
        const std::size_t k = equalsAfterBlanks ? skipSpaces(j + 1) : none;

        String value;
        std::size_t end = q;
        std::size_t openQuote = none;
        if (equalsAfterBlanks) {
            if (k < n && text[k] == quote) {
                openQuote = k;
            }
        } else if (j > q && j < n && text[j] == quote) {
            openQuote = j;
        }
        const std::size_t closeQuote = openQuote == none ? none : nextQuote(openQuote + 1);
        if (closeQuote != none) {
            value.assign(text.substr(openQuote + 1, closeQuote - openQuote - 1));
            end = closeQuote + 1;
        } else {
            std::size_t valueBegin = none;
            if (equalsAfterBlanks && isBareStart(k)) {
                valueBegin = k;
            } else if (j > q && isBareStart(j)) {
                valueBegin = j;
            }
            if (valueBegin != none) {
                end = valueBegin + 1;
                while (end < n && text[end] != quote && !isSpace(end)) {
                    ++end;
                }
                value.assign(text.substr(valueBegin, end - valueBegin));
            }
        }
        options.emplace(String(text.substr(nameBegin, nameEnd - nameBegin)), std::move(value));
        base = end;
    }
}

} // namespace Cxx::Core::Utils
