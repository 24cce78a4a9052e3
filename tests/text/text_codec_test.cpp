#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace vantor::text;

namespace {

TEST(TextCodec, DecodesUtf8ElseWindows1252)
{
    EXPECT_EQ(decodeText("\xEF\xBB\xBF" "Maison \xC3\xA9t\xC3\xA9"), "Maison \xC3\xA9t\xC3\xA9");  // BOM dropped
    // "Générer" in the Western code page, a euro sign and a curly quote.
    EXPECT_EQ(decodeText("G\xE9n\xE9rer \x80 \x92"), "G\xC3\xA9n\xC3\xA9rer \xE2\x82\xAC \xE2\x80\x99");
    EXPECT_EQ(decodeText("\xC3\xA9\xE9"), "\xC3\xA9\xC3\xA9");        // valid UTF-8 beside a stray byte
    EXPECT_EQ(decodeText("a\xC3"), "a\xC3\x83");                      // truncated sequence
    EXPECT_EQ(decodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");            // overlong form
    EXPECT_EQ(countCharacters("\xC3\xA9t\xE2\x82\xAC"), 3u);
}

TEST(TextCodec, LinesEndAtCrLfOrALoneCrOrLf)
{
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(splitLines("\r\r\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(normaliseLineEnds("a\nb\r\nc\rd\r\n\ne"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(normaliseLineEnds("\r\r\n"), "\r\n\r\n");
    EXPECT_EQ(toCrLfLines("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(toCrLfLines("a\rb\r\n\r\n"), "a\r\nb\r\n\r\n");
}

}  // namespace
