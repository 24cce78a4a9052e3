#include "convert/listing_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

using vantor::convert::CutOutcome;
using vantor::convert::PrimListing;
using vantor::convert::RezOffset;
using vantor::convert::hasOnlyCrLfLineEnds;
using vantor::convert::normaliseLineEnds;
using vantor::convert::parseHeader;
using vantor::convert::parseRecord;

namespace {

const std::string kHeader = "[9:05]  Rezzer: <100, 100, 30>";
const std::string kLineA = "[9:05]  Cube: 1, <128.5, 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ";
const std::string kLineB = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

// The record cut taken word for word: 1-based positions, substring searches and a
// replace-all over the whole remaining text for every record. Quadratic, and the measure
// the linear implementation is held to.
struct NaiveListing {
    std::string text;
    std::size_t guard = 50;

    static std::string replaceAll(const std::string& in, const std::string& what)
    {
        std::string out;
        std::size_t from = 0;
        for (std::size_t at = in.find(what); at != std::string::npos; at = in.find(what, from)) {
            out += in.substr(from, at - from);
            from = at + what.size();
        }
        return out + in.substr(from);
    }

    // Returns the header line.
    std::string cutHeader(const std::string& listing)
    {
        text = listing + "\r\n";
        const std::size_t p = text.find("\r\n") + 1;
        const std::string header = text.substr(0, p);
        text = replaceAll(text, header);
        return header;
    }

    CutOutcome cut(std::string& record)
    {
        if (guard <= 30) return CutOutcome::GuardStop;
        if (text.find_first_not_of("\r\n \t") == std::string::npos) return CutOutcome::EndOfListing;
        const std::size_t found1 = text.find("\r\n");
        const std::size_t p1 = found1 == std::string::npos ? 0 : found1 + 1;
        guard = p1;
        const std::size_t found2 = text.find("\r\n", p1 + 2 - 1);
        const std::size_t p2 = found2 == std::string::npos ? 0 : found2 + 1;
        if (p2 < 3) return CutOutcome::EndOfListing;
        if (p2 < 30) return CutOutcome::RecordTooShort;
        record = text.substr(0, p2);
        text = replaceAll(text, record);
        return CutOutcome::Record;
    }
};

struct Step {
    CutOutcome outcome;
    std::string record;
    std::string remaining;
    friend bool operator==(const Step&, const Step&) = default;
};

std::vector<Step> naiveSteps(const std::string& listing)
{
    NaiveListing naive;
    naive.cutHeader(listing);
    std::vector<Step> steps;
    for (int i = 0; i < 1000; ++i) {
        std::string record;
        const CutOutcome outcome = naive.cut(record);
        steps.push_back({outcome, outcome == CutOutcome::Record ? record : "", naive.text});
        if (outcome != CutOutcome::Record) break;
    }
    return steps;
}

std::vector<Step> listingSteps(const std::string& listing)
{
    PrimListing parsed(listing);
    std::vector<Step> steps;
    for (int i = 0; i < 1000; ++i) {
        std::string record;
        const CutOutcome outcome = parsed.cutRecord(record);
        steps.push_back({outcome, outcome == CutOutcome::Record ? record : "", parsed.remainingText()});
        if (outcome != CutOutcome::Record) break;
    }
    return steps;
}

std::string lines(const std::vector<std::string>& all)
{
    std::string text;
    for (const auto& line : all) text += line + "\r\n";
    return text;
}

std::string recordOf(const std::string& a, const std::string& b)
{
    return "\n" + a + "\r\n" + b + "\r";
}

// -- Header ---------------------------------------------------------------------------

struct HeaderCase {
    const char* name;
    std::string header;
    std::optional<RezOffset> offset;
};

class HeaderParse : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderParse, ReadsTheRezPositionAndSubtractsTheUsersOne)
{
    EXPECT_EQ(parseHeader(GetParam().header + "\r", "125", "125", "25"), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderParse,
    ::testing::Values(
        HeaderCase{"producer", "[9:05]  Rezzer: <100, 100, 30>", RezOffset{-25, -25, 5}},
        HeaderCase{"fractions", "[19:45]  Scribelet: <128.5, 64.25, 22.125>", RezOffset{3.5, -60.75, -2.875}},
        HeaderCase{"no_blanks", "<125,125,25>", RezOffset{0, 0, 0}},
        HeaderCase{"negative_and_exponent", "x <-5, 1E+02, 2.5E-01>", RezOffset{-130, -25, -24.75}},
        HeaderCase{"no_angle_bracket", "[9:05]  Rezzer: 100, 100, 30", std::nullopt},
        HeaderCase{"one_comma", "[9:05]  Rezzer: <100, 100>", std::nullopt},
        HeaderCase{"no_closing_bracket", "[9:05]  Rezzer: <100, 100, 30", std::nullopt},
        HeaderCase{"empty_value", "[9:05]  Rezzer: <100, , 30>", std::nullopt},
        HeaderCase{"text_value", "[9:05]  Rezzer: <100, abc, 30>", std::nullopt},
        HeaderCase{"empty", "", std::nullopt}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HeaderParseUser, RezPositionTextsMustBeNumbers)
{
    EXPECT_FALSE(parseHeader(kHeader + "\r", "125", "", "25"));
    EXPECT_FALSE(parseHeader(kHeader + "\r", "12,5", "125", "25"));
    EXPECT_EQ(parseHeader(kHeader + "\r", " 125 ", "125", "25"), (RezOffset{-25, -25, 5}));
}

// -- Record parse ---------------------------------------------------------------------

struct ParseCase {
    std::string lineA, lineB;
    std::optional<std::string> name;  // nothing: the record does not parse
    std::vector<std::string> fields;  // checked when not empty
};

class RecordParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RecordParse, CutsNameAndFields)
{
    const auto& c = GetParam();
    const auto record = parseRecord(recordOf(c.lineA, c.lineB));
    ASSERT_EQ(record.has_value(), c.name.has_value());
    if (!record) return;
    EXPECT_EQ(record->name, *c.name);
    EXPECT_EQ(record->recordText, "\n" + c.lineA + c.lineB + "\r");
    if (!c.fields.empty()) {
        EXPECT_EQ(record->fields, c.fields);
    }
}

const std::vector<std::string> kSix = {"1", "2", "3", "4", "5", "6"};
// The packed form that a run parses into gives the same outcome, name, record text and
// fields.
void expectPackedAgrees(const std::string& recordText)
{
    vantor::convert::PrimRecord record;
    vantor::convert::PackedRecord packed;
    const bool parsed = parseRecord(recordText, record);
    ASSERT_EQ(parseRecord(recordText, packed), parsed) << recordText;
    EXPECT_EQ(packed.recordText(), record.recordText);
    if (!parsed) return;
    EXPECT_EQ(packed.name(), record.name);
    ASSERT_EQ(packed.fieldCount(), record.fields.size()) << recordText;
    for (std::size_t i = 0; i < record.fields.size(); ++i) EXPECT_EQ(packed.field(i), record.fields[i]) << i;
}

TEST_P(RecordParse, PackedFormAgrees)
{
    expectPackedAgrees(recordOf(GetParam().lineA, GetParam().lineB));
}

TEST(RecordParsePacked, AgreesOnRandomRecordsAndReusesItsBuffers)
{
    // Records made of the characters that matter to the split, one packed record reused for
    // all, so that a longer record before a shorter one leaves nothing behind.
    const std::string alphabet = " <>,,:]0123456789.-ab\xc3\xa9\r";
    std::mt19937 engine(61);
    vantor::convert::PackedRecord packed;
    for (int round = 0; round < 3000; ++round) {
        std::string a = "[9:05]  N" + std::to_string(round % 10) + ": ";
        std::string b;
        const auto length = engine() % (round % 2 == 0 ? 40 : 400);
        for (std::size_t i = 0; i < length; ++i) (i % 2 == 0 ? a : b) += alphabet[engine() % alphabet.size()];
        const std::string text = recordOf(a, b);
        expectPackedAgrees(text);
        vantor::convert::PrimRecord record;
        ASSERT_EQ(parseRecord(text, packed), parseRecord(text, record));
        if (record.fields.size() >= 5) {
            ASSERT_EQ(packed.fieldCount(), record.fields.size());
            for (std::size_t i = 0; i < record.fields.size(); ++i) ASSERT_EQ(packed.field(i), record.fields[i]);
        }
    }
}


INSTANTIATE_TEST_SUITE_P(Records, RecordParse, ::testing::Values(
    ParseCase{kLineA, kLineB, "Cube", {"1", "128.5", "130.25", "22", "0", "0", "0", "1", "0.5", "0.5", "0.5", "0",
                                       "0", "0", "1", "0", "0", "0", "0", "0", "1", "1", "0", "0", "0", "0"}},
    ParseCase{"[9:05]  Old oak tree: 1, ", "2, 3, 4, 5, 6, 7", "Old oak tree", kSix},
    ParseCase{"[9:05]  Sign: Keep out: 1, ", "2, 3, 4, 5, 6, 7", "Sign", {}},
    ParseCase{"[9:05]  : 1, ", "2, 3, 4, 5, 6, 7", "", kSix},
    ParseCase{"[9:05]  Café é: 1, ", "2, 3, 4, 5, 6, 7", "Café é", kSix},
    ParseCase{"[9:05]é€Name: 1, ", "2, 3, 4, 5, 6, 7", "Name", kSix},  // two characters after "]" are skipped
    ParseCase{"no time  x: 1, ", "2, 3, 4, 5, 6, 7", "o time  x", kSix},   // without "]": the LF and one more
    ParseCase{"[9:05]: 1, ", "2, 3, 4, 5, 6, 7", std::nullopt, {}},       // ": " right after "]"
    ParseCase{"[9:05]  Cube 1, 2, ", "3, 4, 5, 6", std::nullopt, {}},
    ParseCase{"[9:05]  N: <1, 2>, ", "<3, - 4, 5>, ,, 7", "N", {"1", "2", "3", "-4", "5", "", ""}},
    ParseCase{"[9:05]  N: 1, 2, ", "3, 4", std::nullopt, {}}));  // four fields

TEST(RecordParseLineB, ChatPrefixLandsInAField)
{
    EXPECT_EQ(parseRecord(recordOf(kLineA, "[9:05]  Cube: 0, 0, 0"))->fields.at(11), "[9:05]Cube:0");
}

// -- Record cut ------------------------------------------------------------------------

TEST(RecordCut, IdenticalRecordsVanishTogether)
{
    const std::string otherA = "[9:06]  Sphere: 2, <1, 2, 3>, <0, 0, 0, 1>, <1, 1, 1>, ";
    // The listing keeps views into its text, which must outlive it.
    const std::string text = lines({kHeader, kLineA, kLineB, otherA, kLineB, kLineA, kLineB, kLineA, kLineB});
    PrimListing listing(text);
    EXPECT_EQ(listing.headerLine(), kHeader + "\r");
    std::string record;
    ASSERT_EQ(listing.cutRecord(record), CutOutcome::Record);
    EXPECT_EQ(record, recordOf(kLineA, kLineB));
    EXPECT_EQ(listing.remainingText(), "\n" + lines({otherA, kLineB, ""}));
    ASSERT_EQ(listing.cutRecord(record), CutOutcome::Record);
    EXPECT_EQ(record, recordOf(otherA, kLineB));
    EXPECT_EQ(listing.cutRecord(record), CutOutcome::EndOfListing);
}

TEST(RecordCut, GuardCountsCharactersNotBytes)
{
    // 28 characters but 30 bytes: the guard becomes 30, so the run stops as the producer's
    // chat text would have it.
    const std::string lineA = "[9:05]  Café é: 1, <1, 2, 3>";
    ASSERT_EQ(lineA.size(), 30u);
    const std::string text = lines({kHeader, lineA, kLineB, kLineA, kLineB});
    PrimListing listing(text);
    std::string record;
    ASSERT_EQ(listing.cutRecord(record), CutOutcome::Record);
    EXPECT_EQ(listing.cutRecord(record), CutOutcome::GuardStop);
}

// The linear cut must leave exactly what the word-for-word algorithm leaves, step by step.
struct ListingCase {
    const char* name;
    std::string text;
};

class RecordCutMatchesLiteralReading : public ::testing::TestWithParam<ListingCase> {};

TEST_P(RecordCutMatchesLiteralReading, StepByStep)
{
    EXPECT_EQ(listingSteps(GetParam().text), naiveSteps(GetParam().text));
}

const std::string kA2 = "[9:06]  Second prim: 2, <1, 2, 3>, <0, 0, 0, 1>, <1, 1, 1>, ";
const std::string kB2 = "1, 16, <0, 1, 0>, 0.5, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

INSTANTIATE_TEST_SUITE_P(
    Listings, RecordCutMatchesLiteralReading,
    ::testing::Values(
        ListingCase{"only_header", kHeader},
        ListingCase{"only_header_with_line_end", kHeader + "\r\n"},
        ListingCase{"empty", ""},
        ListingCase{"two_records", lines({kHeader, kLineA, kLineB, kA2, kB2})},
        ListingCase{"no_final_line_end", lines({kHeader, kLineA, kLineB, kA2}) + kB2},
        ListingCase{"adjacent_duplicates", lines({kHeader, kLineA, kLineB, kLineA, kLineB, kA2, kB2})},
        ListingCase{"duplicate_after_other", lines({kHeader, kLineA, kLineB, kA2, kB2, kLineA, kLineB, kA2, kB2})},
        ListingCase{"same_line_twice", lines({kHeader, kLineA, kLineA, kLineA, kLineA, kLineA, kB2})},
        ListingCase{"pair_formed_by_removal", lines({kHeader, kA2, kB2, kLineA, kA2, kB2, kLineB, kLineA, kLineB})},
        ListingCase{"empty_line_at_end", lines({kHeader, kLineA, kLineB, ""})},
        ListingCase{"short_record", lines({kHeader, kLineA, kLineB, "ab", "cd"})},
        ListingCase{"short_line_a", lines({kHeader, "[9:05]  C: 1, <1, 2, 3>, ", kLineB, kLineA, kLineB})},
        ListingCase{"empty_line_b", lines({kHeader, kLineA, "", kA2, kB2})},
        ListingCase{"header_repeated", lines({kHeader, kLineA, kLineB, kHeader, kA2, kB2})},
        ListingCase{"header_as_line_end", lines({kHeader, kLineA, kLineB + kHeader, kA2, kB2})},
        ListingCase{"empty_header", lines({"", kLineA, kLineB})},
        ListingCase{"blank_lines_between", lines({kHeader, kLineA, kLineB, "", "", kA2, kB2})},
        ListingCase{"trailing_blank_lines", lines({kHeader, kLineA, kLineB, "", "  ", "\t", ""})},
        ListingCase{"unicode_names", lines({kHeader, "[9:05]  Ère été: 1, <1, 2, 3>, <0, 0, 0, 1>, ", kB2})}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RecordCutMatchesLiteralReading, RandomListingsOfFewDistinctLines)
{
    // Few distinct lines make duplicates, pairs formed by removals and short records
    // common; every listing is compared with the literal reading.
    const std::vector<std::string> pool = {kLineA, kLineB, kA2, kB2, "", "  ", "short", kHeader};
    std::mt19937 engine(20240611);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> all = {kHeader};
        const int count = static_cast<int>(engine() % 14);
        for (int i = 0; i < count; ++i) all.push_back(pool[engine() % (round % 3 == 0 ? pool.size() : 4)]);
        const std::string text = lines(all);
        ASSERT_EQ(listingSteps(text), naiveSteps(text)) << "round " << round;
    }
}

// -- Line ends ---------------------------------------------------------------------------

TEST(LineEnds, LoneLfAndCrBecomeCrLf)
{
    EXPECT_EQ(normaliseLineEnds("a\nb\r\nc\rd\r\n\ne"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(normaliseLineEnds("\r\r\n"), "\r\n\r\n");
    EXPECT_TRUE(hasOnlyCrLfLineEnds("a\r\nb\r\n"));
    EXPECT_FALSE(hasOnlyCrLfLineEnds("a\r\nb\n"));
    EXPECT_FALSE(hasOnlyCrLfLineEnds("a\r"));
}

TEST(RecordParsePacked, LinesOfACutParseAsTheirRecordText)
{
    // A run parses the two lines the listing cut, never joined into a record text first.
    const std::string alphabet = " <>,,:]0123456789.-ab\xc3\xa9";
    std::mt19937 engine(83);
    vantor::convert::PackedRecord fromLines;
    vantor::convert::PackedRecord fromText;
    for (int round = 0; round < 2000; ++round) {
        std::string a = round % 5 == 0 ? "" : "[9:05]  N: ";
        std::string b;
        const auto length = engine() % 300;
        for (std::size_t i = 0; i < length; ++i) (engine() % 3 == 0 ? a : b) += alphabet[engine() % alphabet.size()];
        vantor::convert::RecordCut cut;
        cut.asLines = true;
        cut.lineA = a;
        cut.lineB = b;
        const bool parsed = parseRecord(recordOf(a, b), fromText);
        ASSERT_EQ(parseRecord(cut, fromLines), parsed);
        ASSERT_EQ(fromLines.recordText(), fromText.recordText());
        if (!parsed) continue;
        ASSERT_EQ(fromLines.name(), fromText.name());
        ASSERT_EQ(fromLines.fieldCount(), fromText.fieldCount());
        for (std::size_t i = 0; i < fromText.fieldCount(); ++i) ASSERT_EQ(fromLines.field(i), fromText.field(i));
    }
}

TEST_P(RecordCutMatchesLiteralReading, CutsIntoLinesAsIntoText)
{
    // Both kinds of listing (lines kept, or plain text after a repeated header) cut the same
    // records into a RecordCut as into a record text.
    const std::string& text = GetParam().text;
    PrimListing intoText(text);
    PrimListing intoCut(text);
    for (int i = 0; i < 1000; ++i) {
        std::string record;
        vantor::convert::RecordCut cut;
        const CutOutcome outcome = intoText.cutRecord(record);
        ASSERT_EQ(intoCut.cutRecord(cut), outcome);
        if (outcome != CutOutcome::Record) break;
        EXPECT_EQ(cut.asLines ? "\n" + std::string(cut.lineA) + "\r\n" + std::string(cut.lineB) + "\r" : cut.text,
                  record);
        EXPECT_EQ(intoCut.remainingText(), intoText.remainingText());
    }
}

TEST(LineEnds, CheckAgreesWithAByteByByteReadingAtEveryOffset)
{
    // The check passes blocks without control bytes quickly; line ends and look-alikes (tab,
    // other low bytes) at every position of a block, and at both ends, must still count.
    const auto byteByByte = [](const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
        }
        return true;
    };
    const std::vector<std::string> inserts = {"\r\n", "\r", "\n", "\n\r", "\t", "\x0b\x0c", "\r\r\n", "\xc3\xa9"};
    for (std::size_t length = 0; length < 80; ++length) {
        for (std::size_t at = 0; at <= length; ++at) {
            for (const auto& insert : inserts) {
                std::string text(length, 'x');
                text.insert(at, insert);
                ASSERT_EQ(hasOnlyCrLfLineEnds(text), byteByByte(text)) << length << " " << at;
                const std::string twice = text + "\r\n" + text;
                ASSERT_EQ(hasOnlyCrLfLineEnds(twice), byteByByte(twice)) << length << " " << at;
            }
        }
    }
}

TEST(LineEnds, LargeTextsAreCheckedInHalvesWithoutSplittingALineEnd)
{
    // Texts of several megabytes are checked in two halves: a lone CR or LF at the middle,
    // a CR LF across the middle, and a lone end anywhere else must all count.
    std::string text;
    while (text.size() < (std::size_t{20} << 20)) text += kLineA + "\r\n";
    ASSERT_TRUE(hasOnlyCrLfLineEnds(text));
    const std::size_t middle = text.size() / 2;
    for (std::size_t at = middle - 3; at <= middle + 3; ++at) {
        for (const char* end : {"\r\n", "\r", "\n", "\n\r", "\r\n\n", "\r\r\n"}) {
            std::string changed = text;
            changed.insert(at, end);
            // Only the bytes around the insertion can hold a lone line end.
            const std::string around = changed.substr(at - 4, 12);
            bool crLfOnly = true;
            for (std::size_t i = 1; i + 1 < around.size(); ++i) {
                if (around[i] == '\r' && around[i + 1] != '\n') crLfOnly = false;
                if (around[i] == '\n' && around[i - 1] != '\r') crLfOnly = false;
            }
            EXPECT_EQ(hasOnlyCrLfLineEnds(changed), crLfOnly) << at << " " << std::string_view(end).size();
        }
    }
    for (const std::size_t at : {std::size_t{0}, text.size() / 3, text.size() - 1, text.size()}) {
        std::string changed = text;
        changed.insert(at, "\n");
        EXPECT_FALSE(hasOnlyCrLfLineEnds(changed)) << at;
    }
}

TEST(RecordCutMatchesLiteralReading, CheckedListingsCutAsUncheckedOnes)
{
    // A run checks the line ends as the lines are cut (ifOnlyCrLf), or knows them to be
    // CR LF (CrLfChecked): either listing cuts as the plain one, and ifOnlyCrLf refuses
    // exactly the texts with another line end, wherever it stands.
    const std::vector<std::string> texts = {
        lines({kHeader, kLineA, kLineB, kA2, kB2}), lines({kHeader, kLineA, kLineB, kHeader, kA2, kB2}),
        lines({"", kLineA, kLineB}), lines({kHeader, kLineA, kLineB, "ab", "cd"}), kHeader, kHeader + "\r\n", "",
        lines({kHeader, kLineA, kLineB}) + kA2, lines({kHeader, kLineA, kLineB, "", "  "})};
    const auto stepsOf = [](PrimListing& listing) {
        std::vector<Step> steps;
        for (int i = 0; i < 100; ++i) {
            std::string record;
            const CutOutcome outcome = listing.cutRecord(record);
            steps.push_back({outcome, outcome == CutOutcome::Record ? record : "", listing.remainingText()});
            if (outcome != CutOutcome::Record) break;
        }
        return steps;
    };
    for (const auto& text : texts) {
        ASSERT_TRUE(hasOnlyCrLfLineEnds(text));
        PrimListing checked(text, PrimListing::CrLfChecked{});
        EXPECT_EQ(stepsOf(checked), listingSteps(text));
        auto cut = PrimListing::ifOnlyCrLf(text);
        ASSERT_TRUE(cut) << text;
        EXPECT_EQ(stepsOf(*cut), listingSteps(text));
        // A lone CR or LF anywhere: in the header, in a record, at either end.
        for (std::size_t at = 0; at <= text.size(); at += 7) {
            for (const char* lone : {"\r", "\n", "\n\r"}) {
                std::string broken = text;
                broken.insert(std::min(at, broken.size()), lone);
                EXPECT_EQ(PrimListing::ifOnlyCrLf(broken).has_value(), hasOnlyCrLfLineEnds(broken)) << at;
            }
        }
        for (const char* lone : {"\r", "\n"}) {
            EXPECT_FALSE(PrimListing::ifOnlyCrLf(text + lone));
            EXPECT_FALSE(PrimListing::ifOnlyCrLf(lone + text));
        }
    }
}

}  // namespace
