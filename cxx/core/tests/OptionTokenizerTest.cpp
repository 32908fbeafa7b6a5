#include "cxx/core/OptionTokenizer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <string>

using Cxx::Core::Utils::TokenizeOptions;

namespace {

// The tokenizer's rules, written as the regular expression they come from.
constexpr wchar_t ReferenceExpression[] =
    LR"re((^|[\s]{1})([\/-]{1}\w+)((\s*[=\s]{1}\s*"([^"]*)"|\s*[=\s]{1}\s*([^-\/\s]{1}[^"\s]*))?|$))re";

template <typename CharT>
using Options = std::map<std::basic_string<CharT>, std::basic_string<CharT>>;

// Applies the expression the plain way: search, keep the first value of each
// name, go on with the text after the match. Only for short texts: the
// library's matcher recurses per character.
template <typename CharT>
bool ReferenceTokenize(std::basic_string<CharT> text, Options<CharT>& options)
{
    const std::wstring wideExpression = ReferenceExpression;
    const std::basic_string<CharT> expressionText(wideExpression.begin(), wideExpression.end());
    const std::basic_regex<CharT> expression(expressionText, std::regex_constants::ECMAScript);
    std::match_results<typename std::basic_string<CharT>::const_iterator> match;
    bool found = false;
    while (std::regex_search(text, match, expression)) {
        found = true;
        if (match[2].matched) {
            options.emplace(match[2].str(), match[6].matched ? match[6].str() : match[5].str());
        }
        text = match.suffix().str();
    }
    return found;
}

template <typename CharT>
void ExpectSameAsReference(const std::basic_string<CharT>& text)
{
    Options<CharT> expected;
    Options<CharT> actual;
    const bool expectedFound = ReferenceTokenize(text, expected);
    const bool actualFound = TokenizeOptions<CharT>(text, actual);
    EXPECT_EQ(expectedFound, actualFound) << "text: [" << ::testing::PrintToString(text) << "]";
    EXPECT_EQ(expected, actual) << "text: [" << ::testing::PrintToString(text) << "]";
}

} // namespace

TEST(OptionTokenizer, ReferenceExpressionIsTheOriginalLiteral)
{
    EXPECT_EQ(std::wstring(ReferenceExpression).size(), 89u);
}

TEST(OptionTokenizer, MatchesTheExpressionOnChosenCases)
{
    const wchar_t* const cases[] = {
        L"",
        L"   ",
        L"setup.exe",
        L"/S",
        L"-S",
        L"/",
        L"/ ",
        L"-",
        L"//S",
        L"/S/VS",
        L"/S /VS",
        L"x/S /VS",
        L"/LANG=de /LANG=fr",
        L"/LANG=de",
        L"/LANG de",
        L"/LANG = de",
        L"/LANG  =  de",
        L"/LANG=\"de\"",
        L"/LANG = \"de\"",
        L"/LANG \"de\"",
        L"/LANG\"de\"",
        L"/OSOURCE \"a b\"",
        L"/OSOURCE a b",
        L"/OSOURCE=\"\"",
        L"/OSOURCE \"\" /S",
        L"/BUILD_ID= /S",
        L"/BUILD_ID=",
        L"/BUILD_ID =",
        L"/BUILD_ID = ",
        L"/A =-x",
        L"/A=-x",
        L"/A = -x",
        L"/A /x",
        L"/A \"-x\"",
        L"/A=\"unclosed",
        L"/A = \"unclosed value",
        L"/A \"unclosed\" /B",
        L"/A=x\"y\" /B",
        L"/A=x/B",
        L"/A=x=y",
        L"/A==x",
        L"/A= =x",
        L"/A\t=\tv\t/B\tw",
        L"/A\n\"multi\nline\"",
        L"/A=\"x\"/B",
        L"/A=\"x\" \"y\" /B",
        L"a /b_c=1 -d-e /f.g",
        L"\"C:\\Program Files\\setup.exe\" /S /DELAY=5 /GA_TRACKING_UID=\"abc\"",
        L" /A",
        L"  /A",
        L"/A  ",
        L"-extractTrackingUID=\"C:\\a b\\trackingUID.txt\" /S",
        L"/\u00e9t\u00e9 /caf\u00e9=cr\u00e8me",
        L"/A\u3000/B\u00a0/C",
    };
    for (const wchar_t* text : cases) {
        ExpectSameAsReference<wchar_t>(text);
    }
}

TEST(OptionTokenizer, MatchesTheExpressionOnRandomShortCommandLines)
{
    const std::wstring wideAlphabet = L"  \t/-=\"aZ9_.\u00e9\u3000";
    const std::string narrowAlphabet = "  \t/-=\"aZ9_.\xe9";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 600; ++round) {
        const int size = length(random);
        std::wstring wide;
        std::string narrow;
        for (int i = 0; i < size; ++i) {
            wide += wideAlphabet[random() % wideAlphabet.size()];
            narrow += narrowAlphabet[random() % narrowAlphabet.size()];
        }
        ExpectSameAsReference(wide);
        ExpectSameAsReference(narrow);
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
}

TEST(OptionTokenizer, LongValuesAndManyOptionsDoNotExhaustTheStack)
{
    const std::wstring quoted(200000, L'q');
    const std::wstring bare(200000, L'b');
    std::wstring many;
    for (int i = 0; i < 20000; ++i) {
        many += L" /O" + std::to_wstring(i) + L"=v" + std::to_wstring(i);
    }

    std::map<std::wstring, std::wstring> options;
    ASSERT_TRUE(TokenizeOptions<wchar_t>(L"/LANG=\"" + quoted + L"\" /OSOURCE " + bare + L" /S" + many, options));
    EXPECT_EQ(options[L"/LANG"], quoted);
    EXPECT_EQ(options[L"/OSOURCE"], bare);
    EXPECT_EQ(options.count(L"/S"), 1u);
    EXPECT_EQ(options[L"/O19999"], L"v19999");
    EXPECT_EQ(options.size(), 20003u);

    std::map<std::wstring, std::wstring> unclosed;
    ASSERT_TRUE(TokenizeOptions<wchar_t>(L"/A \"" + quoted, unclosed));
    EXPECT_EQ(unclosed[L"/A"], L"\"" + quoted);
}


