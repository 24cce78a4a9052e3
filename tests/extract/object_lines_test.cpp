#include "extract/object_lines.h"

#include "convert/text_codec.h"
#include "object_line_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    EXPECT_EQ(isCutOffLine(GetParam().line), GetParam().result == TokeniseResult::Stop);
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
                      TokenCase{"<a>open end", TokeniseResult::Complete, {}},
                      TokenCase{"", TokeniseResult::Complete, {}}));

TEST(Tokeniser, NumbersTheValuesOfAConverterDocument)
{
    test::ObjectSpec spec;
    spec.name = "Garden bench";
    spec.profileShape = "HalfCircle";
    ValueList values;
    ASSERT_EQ(TokeniseObjectLine(test::objectLine(spec), values), TokeniseResult::Complete);
    ASSERT_EQ(values.size(), 79u);  // 73 up to HollowShape, then the second Scale and three more
    EXPECT_EQ(values[19], "Garden bench");
    EXPECT_EQ(values[22], "128");
    EXPECT_EQ(values[23], "64.5");
    EXPECT_EQ(values[46], "AA==");
    EXPECT_EQ(values[48], "16");
    EXPECT_EQ(values[71], "HalfCircle");
    EXPECT_EQ(values[72], "Same");

    spec.name.clear();  // an empty element gives no value: every later index moves down
    ASSERT_EQ(TokeniseObjectLine(test::objectLine(spec), values), TokeniseResult::Complete);
    EXPECT_EQ(values.size(), 78u);
    EXPECT_EQ(values[22], "64.5");
}

// Every line the tests know: the malformed lines, every scene file of the test data, and
// converter documents cut off after every few characters, so that each count of values
// around 22 to 24 and each kind of cut-off tag occurs.
std::vector<std::string> knownLines()
{
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(VANTOR_TEST_DATA_DIR)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        const std::string text = convert::decodeText(bytes.str());
        for (const std::string_view line : convert::splitLines(text)) lines.emplace_back(line);
    }
    test::ObjectSpec odd;
    odd.name = " ";
    odd.y = "";
    for (const std::string& whole : {test::objectLine({}), test::objectLine(odd)}) {
        for (std::size_t length = 0; length <= whole.size(); length += 3) lines.push_back(whole.substr(0, length));
    }
    return lines;
}

TEST(PositionScan, AgreesWithTheFullTokeniserOnEveryKnownLine)
{
    const std::vector<std::string> lines = knownLines();
    ASSERT_GT(lines.size(), 500u);
    ValueList values;
    std::size_t stops = 0;
    std::size_t placeable = 0;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const TokeniseResult full = TokeniseObjectLine(line, values);
        PositionValues expected;
        expected.result = full;
        expected.valueCount = std::min<std::size_t>(values.size(), 24);
        if (values.size() > 22) expected.x = values[22];
        if (values.size() > 23) expected.y = values[23];
        EXPECT_EQ(scanPositionValues(line), expected);
        stops += full == TokeniseResult::Stop;
        placeable += full == TokeniseResult::Complete && values.size() >= 24;
    }
    // The set must hold both kinds of line in numbers, or the comparison proves little.
    EXPECT_GT(stops, 100u);
    EXPECT_GT(placeable, 5u);
}

}  // namespace
}  // namespace vantor::extract
