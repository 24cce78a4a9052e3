#include "convert/listing_parser.h"
#include "text/text_codec.h"

#include "testing/record_reference.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace vantor::convert;
using vantor::text::hasOnlyCrLfLineEnds;
using namespace vantor::test;

namespace {

const std::string kLineA = lineA("Cube");
const std::string kA2 = "[9:06]  Second prim: 2, <1, 2, 3>, <0, 0, 0, 1>, <1, 1, 1>, ";
const std::string kB2 = "1, 16, <0, 1, 0>, 0.5, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

std::string recordOf(std::string_view a, std::string_view b)
{
    return "\n" + std::string(a) + "\r\n" + std::string(b) + "\r";
}

std::string replaceAll(const std::string& in, const std::string& what)
{
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = in.find(what); at != std::string::npos; at = in.find(what, from)) {
        out += in.substr(from, at - from);
        from = at + what.size();
    }
    return out + in.substr(from);
}

struct Step {
    CutOutcome outcome;
    std::string record;
    std::string remaining;
    friend bool operator==(const Step&, const Step&) = default;
};

// The record cut read word for word: substring searches, the header line removed wherever it
// occurs, and each record taken off the front of the remaining text. The measure the cut is
// held to.
std::vector<Step> literalSteps(const std::string& listing)
{
    std::string text = listing + "\r\n";
    text = replaceAll(text, text.substr(0, text.find("\r\n") + 1));
    std::size_t guard = 50;
    std::vector<Step> steps;
    while (true) {
        CutOutcome outcome = CutOutcome::Record;
        std::string record;
        const std::size_t found1 = text.find("\r\n");
        const std::size_t p1 = found1 == std::string::npos ? 0 : found1 + 1;
        const std::size_t found2 = text.find("\r\n", p1 + 1);
        const std::size_t p2 = found2 == std::string::npos ? 0 : found2 + 1;
        if (guard <= 30) outcome = CutOutcome::GuardStop;
        else if (text.find_first_not_of("\r\n \t") == std::string::npos || p2 < 3) outcome = CutOutcome::EndOfListing;
        else if (p2 < 30) outcome = CutOutcome::RecordTooShort;
        else {
            record = text.substr(0, p2);
            text.erase(0, p2);
        }
        guard = p1;
        steps.push_back({outcome, record, text});
        if (outcome != CutOutcome::Record) return steps;
    }
}

// The steps of a PrimListing, each record as its record text.
std::vector<Step> stepsOf(PrimListing& listing)
{
    std::vector<Step> steps;
    while (steps.size() < 1000) {
        std::string record;
        RecordCut cut;
        const CutOutcome outcome = listing.cutRecord(cut);
        if (outcome == CutOutcome::Record) record = cut.asLines ? recordOf(cut.lineA, cut.lineB) : cut.text;
        steps.push_back({outcome, record, listing.remainingText()});
        if (outcome != CutOutcome::Record) break;
    }
    return steps;
}

TEST(RecordCut, MatchesTheLiteralReading)
{
    for (const auto& [name, text] : std::vector<std::pair<const char*, std::string>>{
             {"a header only", kHeader},
             {"nothing", ""},
             {"a last line B without a line end", crlf({kHeader, kLineA, kLineB, kA2}) + kB2},
             {"a pair formed by a removal", crlf({kHeader, kA2, kB2, kLineA, kA2, kB2, kLineB, kLineA, kLineB})},
             {"line A three times", crlf({kHeader, kLineA, kLineA, kLineA, kB2})},
             {"the header at the end of a line B", crlf({kHeader, kLineA, kLineB + kHeader, kA2, kB2})},
             {"an empty header", crlf({"", kLineA, kLineB})},
             {"blank lines after the records", crlf({kHeader, kLineA, kLineB, "", "  ", "\t", ""})},
             {"the header again at the end", crlf({kHeader, kLineA, kLineB}) + kHeader},
             {"the header after a character: the run's CR", crlf({kHeader, kLineA, kLineB}) + "x" + kHeader},
             {"a guard stop", crlf({kHeader, "[9:05]  C: 1, <1, 2, 3>, ", kLineB, kLineA, kLineB})},
             {"29 bytes to the second line end", crlf({kHeader, "a", std::string(24, 'b')})},
             {"30 bytes to the second line end", crlf({kHeader, "a", std::string(25, 'b')})},
             {"accented letters", crlf({kHeader, "[9:05]  Ère été: 1, <1, 2, 3>, <0, 0, 0, 1>, ", kB2})}}) {
        SCOPED_TRACE(name);
        const auto expected = literalSteps(text);
        PrimListing checked(text, PrimListing::CrLfChecked{});
        EXPECT_EQ(stepsOf(checked), expected);
        auto cutChecking = PrimListing::ifOnlyCrLf(text);
        ASSERT_TRUE(cutChecking);
        EXPECT_EQ(stepsOf(*cutChecking), expected);
    }
}

TEST(RecordCut, GuardCountsCharactersNotBytes)
{
    const std::string shortA = "[9:05]  Café é: 1, <1, 2, 3>";  // 28 characters in 30 bytes
    const std::string text = crlf({kHeader, shortA, kLineB, kLineA, kLineB});  // outlives the listing
    PrimListing listing(text, PrimListing::CrLfChecked{});
    RecordCut record;
    ASSERT_EQ(listing.cutRecord(record), CutOutcome::Record);
    EXPECT_EQ(listing.cutRecord(record), CutOutcome::GuardStop);
}

// Line ends and look-alikes at every offset of the 32-byte blocks the check skips quickly;
// the checking listing refuses exactly the same texts.
TEST(LineEnds, CheckAgreesWithAByteByByteReading)
{
    const auto byteByByte = [](std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
        }
        return true;
    };
    for (std::size_t length = 0; length < 80; ++length) {
        for (std::size_t at = 0; at <= length; ++at) {
            for (const char* insert : {"\r\n", "\r", "\n", "\n\r", "\t", "\x0b\x0c", "\r\r\n", "\xc3\xa9"}) {
                std::string text(length, 'x');
                text.insert(at, insert);
                text = crlf({kHeader, kLineA}) + text;
                ASSERT_EQ(hasOnlyCrLfLineEnds(text), byteByByte(text)) << length << " " << at;
                ASSERT_EQ(PrimListing::ifOnlyCrLf(text).has_value(), byteByByte(text)) << length << " " << at;
            }
        }
    }
}

TEST(HeaderParse, ReadsTheRezPositionLessTheUsersOne)
{
    const std::vector<std::pair<std::string, std::optional<RezOffset>>> rows = {
        {kHeader, RezOffset{-25, -25, 5}},
        {"[19:45]  Scribelet: <128.5, 64.25, 22.125>", RezOffset{3.5, -60.75, -2.875}},
        {"<125,125,25>", RezOffset{0, 0, 0}}, {"x <-5, 1E+02, 2.5E-01>", RezOffset{-130, -25, -24.75}},
        {"[9:05]  Rezzer: 100, 100, 30", std::nullopt}, {"[9:05]  Rezzer: <100, 100>", std::nullopt},
        {"[9:05]  Rezzer: <100, 100, 30", std::nullopt}, {"[9:05]  Rezzer: <100, , 30>", std::nullopt},
        {"[9:05]  Rezzer: <100, abc, 30>", std::nullopt}, {"", std::nullopt}};
    for (const auto& [header, offset] : rows) EXPECT_EQ(parseHeader(header + "\r", "125", "125", "25"), offset) << header;
    EXPECT_EQ(parseHeader(kHeader + "\r", " 125 ", "125", "25"), (RezOffset{-25, -25, 5}));
    EXPECT_EQ(parseHeader(kHeader + "\r", "125", "", "25"), std::nullopt);
}

// The packed record parse, from a record text and from a cut's two lines, must give the same
// outcome, name, record text and fields as the plain reading.
std::optional<PrimRecord> parseAllWays(const std::string& a, const std::string& b, PackedRecord& fromText,
                                       PackedRecord& fromLines)
{
    const std::string text = recordOf(a, b);
    const std::optional<PrimRecord> reference = parseRecordPlainly(text);
    const bool parsed = reference.has_value();
    EXPECT_EQ(parseRecord(text, fromText), parsed) << text;
    EXPECT_EQ(parseRecord(RecordCut{true, a, b, {}}, fromLines), parsed) << text;
    // The joined text is kept even when the parse fails: the error message shows it.
    EXPECT_EQ(fromText.recordText(), joinedLines(text));
    EXPECT_EQ(fromLines.recordText(), joinedLines(text));
    if (!parsed) return std::nullopt;
    const PrimRecord& plain = *reference;
    for (const PackedRecord* packed : {&fromText, &fromLines}) {
        EXPECT_EQ(packed->name(), plain.name);
        EXPECT_EQ(packed->fieldCount(), plain.fields.size()) << text;
        for (std::size_t i = 0; i < std::min(plain.fields.size(), packed->fieldCount()); ++i) {
            EXPECT_EQ(packed->field(i), plain.fields[i]) << i;
        }
    }
    return plain;
}

// The name and fields of a record, each as the chat forms viewers copy put it too: the fields
// are checked against the plain reading always, and against the row's when it gives them.
TEST(RecordParse, CutsTheRecordIntoItsParts)
{
    struct Row {
        std::string a, b;
        std::optional<std::string> name;  // nothing: the record does not parse
        std::vector<std::string> fields = {};
    };
    const std::vector<std::string> six = {"1", "2", "3", "4", "5", "6"};
    const std::string data = "2, <1, 2, 3>, <0, 0, 0, 1>, <1, 1, 1>, ";
    const std::vector<Row> rows = {
        {"[9:06]  Tür [2]: " + data, kB2, "Tür [2]"},                 // the listing's own form
        {"[09:06] Tür [2]: " + data, kB2, "Tür [2]"},                 // chat window, one blank
        {"[09:06:41] Tür [2]: " + data, kB2, "Tür [2]"},              // chat window, seconds
        {"[2026/12/06 09:06] Tür [2]: " + data, kB2, "Tür [2]"},      // chat history with a date
        {"Tür [2]: " + data, kB2, "Tür [2]"},                         // chat window, no time stamp
        {"[09:06]  Tür [2]: " + data, " " + kB2, "Tür [2]"},          // log file
        {"[2026/12/06 09:06]  Tür [2]: " + data, " " + kB2, "Tür [2]"},     // log file with the date
        {"[2026/12/06 09:06:41]  Tür [2]: " + data, " " + kB2, "Tür [2]"},  // and seconds
        {"[09:06] 3 steps: " + data, kB2, "3 steps"},                 // a name that begins with a digit
        {kLineA, "[9:05]  Cube: 0, 0, 0", "Cube",  // a chat prefix in line B lands in a field
         {"1", "128.5", "130.25", "22", "0", "0", "0", "1", "0.5", "0.5", "0.5", "[9:05]Cube:0", "0"}},
        {"[9:05]  Old oak tree: 1, ", "2, 3, 4, 5, 6, 7", "Old oak tree", six},
        {"[9:05]  Sign: Keep out: 1, ", "2, 3, 4, 5, 6, 7", "Sign", {"Keepout:1", "2", "3", "4", "5", "6"}},
        {"[9:05]  : 1, ", "2, 3, 4, 5, 6, 7", "", six},
        {"[9:05]   Name: 1, ", "2, 3, 4, 5, 6, 7", " Name", six},  // a name's own leading blank stays
        {"[9:05]é€Name: 1, ", "2, 3, 4, 5, 6, 7", "é€Name", six},  // no blank after "]": nothing skipped
        {"no time  x: 1, ", "2, 3, 4, 5, 6, 7", "no time  x", six},  // no stamp: the name from the start
        {"[9:05]: 1, ", "2, 3, 4, 5, 6, 7", std::nullopt},           // ": " right after "]"
        {"[Box] lid: 1, ", "2, 3, 4, 5, 6, 7", "[Box] lid", six},   // brackets that hold no time
        {"Lid]  x: 1, ", "2, 3, 4, 5, 6, 7", "Lid]  x", six},       // a "]" not closing a stamp
        {"[9:05]  Cube 1, 2, ", "3, 4, 5, 6", std::nullopt},
        {"[9:05]  N: <1, 2>, ", "<3, - 4, 5>, ,, 7", "N", {"1", "2", "3", "-4", "5", "", ""}},
        {"[9:05]  N: 1, 2, ", "3, 4", std::nullopt}};  // four fields
    PackedRecord fromText, fromLines;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.a);
        const auto record = parseAllWays(row.a, row.b, fromText, fromLines);
        ASSERT_EQ(record.has_value(), row.name.has_value());
        if (!record) continue;
        EXPECT_EQ(record->name, *row.name);
        EXPECT_EQ(record->recordText, "\n" + row.a + row.b + "\r");
        if (!row.fields.empty()) {
            EXPECT_EQ(record->fields, row.fields);
        }
    }
}

}  // namespace
