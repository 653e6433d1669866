#include "launcher/CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kwn::launcher {
namespace {

using Tokens = std::vector<std::u16string>;

struct SplitCase {
    const char* name;
    std::u16string text;
    Tokens tokens;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, Tokens) {
    Tokens list;
    splitCommandLine(GetParam().text, list);
    EXPECT_EQ(list, GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitCommandLineTest,
    testing::Values(SplitCase{"PathOptionAndQuotedArgument",
                              u"C:\\apps\\tool.exe -a \"b c\"",
                              {u"C:\\apps\\tool.exe", u"-a", u"b c"}},
                    SplitCase{"PrefixJoinsQuotedTextAndCloseStartsNewToken",
                              u"-Dx=\"a b\"c d",
                              {u"-Dx=a b", u"c", u"d"}},
                    SplitCase{"AdjacentSingleQuotedTexts", u"'it''s'", {u"it", u"s"}},
                    SplitCase{"EmptyQuotesGiveOneEmptyToken", u"\"\"", {u""}},
                    SplitCase{"UnclosedQuoteRunsToEnd", u"\"abc", {u"abc"}},
                    SplitCase{"DoubleBlankGivesNoEmptyToken", u"a  b", {u"a", u"b"}},
                    SplitCase{"TabIsOrdinary", u"a\tb c\t", {u"a\tb", u"c\t"}},
                    SplitCase{"SingleQuotesGroup", u"'a b' c", {u"a b", u"c"}},
                    SplitCase{"SingleQuoteInsideDoubleQuotes", u"\"it's\" x", {u"it's", u"x"}},
                    SplitCase{
                        "DoubleQuoteInsideSingleQuotes", u"'say \"hi\"' x", {u"say \"hi\"", u"x"}},
                    SplitCase{"TrailingBlank", u"a ", {u"a"}},
                    SplitCase{"LeadingBlank", u" a", {u"a"}}, SplitCase{"EmptyText", u"", {}},
                    SplitCase{"OnlyBlanks", u"   ", {}},
                    SplitCase{"EmptyQuotesBetweenTokens", u"a \"\" b", {u"a", u"", u"b"}},
                    SplitCase{"QuoteAtEndOfToken", u"ab\"", {u"ab"}},
                    SplitCase{"UnclosedQuoteAfterPrefixKeepsBlanks", u"x\"y z", {u"xy z"}},
                    SplitCase{"TwoBlanksAfterClosingQuote", u"\"a\"  \"b\"", {u"a", u"b"}},
                    SplitCase{"MixedQuotesBackToBack", u"\"a\"'b'", {u"a", u"b"}},
                    SplitCase{"BackslashIsNoEscape", u"\"c:\\\" d", {u"c:\\", u"d"}},
                    SplitCase{"NoSeparatorAtAll", u"single", {u"single"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(SplitCommandLine, AppendsToWhatTheListHolds) {
    Tokens list{u"kept"};
    splitCommandLine(u"a b", list);
    EXPECT_EQ(list, (Tokens{u"kept", u"a", u"b"}));
}

} // namespace
} // namespace kwn::launcher
