#include "extract/object_lines.h"

#include "convert/text_codec.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantor::extract {
namespace {

struct TokenCase {
    const char* line;
    TokeniseResult result;
    std::vector<std::string_view> values;
};

class Tokeniser : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokeniser, ReadsTheTextsBetweenEachGreaterThanAndTheNextLessThan)
{
    ValueList values{"left over"};
    EXPECT_EQ(TokeniseObjectLine(GetParam().line, values), GetParam().result);
    EXPECT_EQ(values, GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Tokeniser,
    ::testing::Values(TokenCase{"<a>1</a><b>2</b>", TokeniseResult::Complete, {"1", "2"}},
                      TokenCase{"<a>1</a><b>2</b><c", TokeniseResult::Stop, {"1", "2"}},
                      TokenCase{"abcdefgh<ijk", TokeniseResult::Stop, {}},
                      TokenCase{"abcdefghijk<x>", TokeniseResult::Complete, {}},
                      TokenCase{"<a>  </a><b>x</b>", TokeniseResult::Complete, {"  ", "x"}},
                      TokenCase{"<a>x>y</a>", TokeniseResult::Complete, {"x>y", "y"}},
                      TokenCase{"<a>1</a>tail<", TokeniseResult::Stop, {"1", "tail"}},
                      TokenCase{"<a>open end", TokeniseResult::Complete, {}}));

// The fast path must agree with the tokeniser on every line the tests know: the malformed
// lines and documents of the test data, and documents cut off every few characters, so that
// every count of values around 22 to 24 and every kind of cut-off tag occurs.
TEST(PositionScan, AgreesWithTheFullTokeniserOnEveryKnownLine)
{
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(VANTOR_TEST_DATA_DIR)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        for (const auto line : convert::splitLines(convert::decodeText(bytes.str()))) lines.emplace_back(line);
    }
    for (const std::string& whole : {test::objectLine(), test::objectLine({{"name", " "}, {"y", ""}})}) {
        for (std::size_t length = 0; length <= whole.size(); length += 3) lines.push_back(whole.substr(0, length));
    }
    ValueList values;
    std::size_t stops = 0;
    for (const std::string& line : lines) {
        const TokeniseResult full = TokeniseObjectLine(line, values);
        PositionValues expected{full, std::min<std::size_t>(values.size(), 24), {}, {}};
        if (values.size() > 22) expected.x = values[22];
        if (values.size() > 23) expected.y = values[23];
        EXPECT_EQ(scanPositionValues(line), expected) << line;
        EXPECT_EQ(isCutOffLine(line), full == TokeniseResult::Stop) << line;
        stops += full == TokeniseResult::Stop;
    }
    EXPECT_GT(stops, 100u);  // both kinds of line in numbers, or the comparison proves little
}

}  // namespace
}  // namespace vantor::extract
