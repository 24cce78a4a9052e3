#include "convert/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace vantor::convert;

namespace {

TEST(DecodeText, KeepsUtf8AndDropsTheByteOrderMark)
{
    EXPECT_EQ(decodeText("Maison \xC3\xA9t\xC3\xA9"), "Maison \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(decodeText("\xEF\xBB\xBF<scene>"), "<scene>");
    EXPECT_EQ(decodeText(""), "");
}

TEST(DecodeText, ReadsInvalidBytesAsWindows1252)
{
    // "Générer" saved in the Western code page, a euro sign and a curly quote.
    EXPECT_EQ(decodeText("G\xE9n\xE9rer \x80 \x92"), "G\xC3\xA9n\xC3\xA9rer \xE2\x82\xAC \xE2\x80\x99");
    // Valid UTF-8 beside stray bytes stays as it is.
    EXPECT_EQ(decodeText("\xC3\xA9\xE9"), "\xC3\xA9\xC3\xA9");
    // A truncated sequence at the end and an overlong form are not UTF-8.
    EXPECT_EQ(decodeText("a\xC3"), "a\xC3\x83");
    EXPECT_EQ(decodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
}

TEST(CountCharacters, CountsCodePoints)
{
    EXPECT_EQ(countCharacters(""), 0u);
    EXPECT_EQ(countCharacters("abc"), 3u);
    EXPECT_EQ(countCharacters("\xC3\xA9t\xC3\xA9"), 3u);
    EXPECT_EQ(countCharacters("\xE2\x82\xAC"), 1u);
}

TEST(SplitLines, EndsLinesAtCrLfLoneCrAndLoneLf)
{
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(splitLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines("\r\r\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines(""), Lines{});
}

TEST(ToCrLfLines, EndsEveryLineWithCrLf)
{
    EXPECT_EQ(toCrLfLines("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(toCrLfLines("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(toCrLfLines("a\rb\r\n\r\n"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(toCrLfLines(""), "");
}

}  // namespace
