#include "text/strings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace vantor::text;

namespace {

TEST(Strings, RemoveAllCutsLeftToRightWithoutOverlap)
{
    EXPECT_EQ(removeAll("/a/x.txt/x.txt", "x.txt"), "/a//");
    EXPECT_EQ(removeAll("aaa", "aa"), "a");
    EXPECT_EQ(removeAll("abc", ""), "abc");
    // A removal that brings two halves together does not remove what they make.
    EXPECT_EQ(removeAll("x..txttxt", ".txt"), "x.txt");
}

TEST(Strings, MessageExcerptsKeepWholeCharactersUpToTheLength)
{
    struct Row {
        std::string text;
        std::size_t length;
        std::string excerpt;
    };
    for (const auto& [text, length, excerpt] : std::vector<Row>{
             {"", 3, ""}, {"abc", 3, "abc"}, {"abcd", 3, "abc\u2026"}, {"\u00e9t\u00e9s", 3, "\u00e9t\u00e9\u2026"},
             {"a\U0001F600b", 2, "a\U0001F600\u2026"}, {"a\U0001F600b", 1, "a\u2026"}, {"\xE9\xE9\xE9", 2, "\xE9\xE9\u2026"}}) {
        EXPECT_EQ(messageExcerpt(text, length), excerpt) << text;
    }
    EXPECT_EQ(messageExcerpt(std::string(kMessageExcerptLength, 'x')).size(), kMessageExcerptLength);
}

TEST(Strings, DottedIpv4IsExactlyFourNumbersUpTo255)
{
    for (const char* text : {"203.0.113.7", "0.0.0.0", "255.255.255.255", "1.22.103.4"}) {
        EXPECT_TRUE(isDottedIpv4(text)) << text;
    }
    for (const char* text : {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4x", "1..3.4", "01.2.3.4", "1234.2.3.4",
                             "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4", "+1.2.3.4", "1.2.3.4.", "1.2.3.0400"}) {
        EXPECT_FALSE(isDottedIpv4(text)) << text;
    }
}

// What the public-address lookup makes of a whole answer of the address service.
TEST(Strings, ParseDottedIpv4AcceptsOnlyATrimmedDottedAddress)
{
    const std::vector<std::pair<const char*, std::optional<std::string>>> cases = {
        {"203.0.113.7", "203.0.113.7"}, {" 203.0.113.7\r\n", "203.0.113.7"}, {"256.1.1.1", std::nullopt},
        {"1.2.3.4\n5", std::nullopt}, {"<html>1.2.3.4</html>", std::nullopt}, {"", std::nullopt}};
    for (const auto& [answer, address] : cases) EXPECT_EQ(parseDottedIpv4(answer), address) << '"' << answer << '"';
}

}  // namespace
