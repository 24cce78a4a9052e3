// The listing parse and the whole conversion run, into an in-memory file system. The listing
// is cut and parsed both ways the engine offers (record texts, and lines with the packed
// record), which must agree. Every run must leave either both files or nothing; a run that
// reports success must have written a scene file that parses as XML, with one object per
// prim, each on a line of its own, and a listing copy holding the listing's text with CR LF
// line ends.

#include "fuzz/fuzz_support.h"
#include "convert/conversion_run.h"
#include "convert/listing_parser.h"
#include "testing/record_reference.h"
#include "text/text_codec.h"

#include "testing/fake_platform.h"

#include <pugixml.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace vantor;
using fuzz::check;

const char* const vantor::fuzz::kTargetName = "conversion";

namespace {

// A LocalID counter text and the value a run counts up from; nothing when no record can
// take a LocalID from it (a counter that is no whole number of 32 bits, or the last one).
struct CounterCase {
    const char* text;
    std::optional<std::int64_t> value;
};

constexpr std::array<CounterCase, 8> kCounters{{
    {"720001", 720001},
    {"0", 0},
    {"2147483647", 2147483647},
    {"4294967294", 4294967294LL},
    {"13.5", std::nullopt},
    {"-1", std::nullopt},
    {"abc", std::nullopt},
    {"4294967295", std::nullopt},
}};

constexpr const char* kOwner = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";

struct RezCase {
    const char* x;
    const char* y;
    const char* z;
};

constexpr std::array<RezCase, 4> kRezPositions{{
    {"125", "125", "25"},
    {"0", "0", "0"},
    {"-1E+308", "1e308", "0.5"},
    {"128.5", "", "1"},
}};

std::string withoutLineEnds(std::string_view text)
{
    std::string kept;
    for (const char c : text) {
        if (c != '\r' && c != '\n') kept += c;
    }
    return kept;
}

bool hasOnlyCrLf(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

// The scene file: "<scene>", an empty line, one object per line, an empty line, "</scene>",
// each line ending in CR LF; the whole and each object line parse as XML.
void checkSceneFile(const std::string& scene, int primCount)
{
    check(scene.ends_with("\r\n") && hasOnlyCrLf(scene), "scene file lines end in CR LF");
    std::string_view rest(scene);
    std::size_t lineCount = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 2);
        const std::size_t index = lineCount++;
        if (index == 0) {
            check(line == "<scene>", "scene file starts with <scene>");
        } else if (index == 1 || index == static_cast<std::size_t>(primCount) + 2) {
            check(line.empty(), "empty line around the objects");
        } else if (index == static_cast<std::size_t>(primCount) + 3) {
            check(line == "</scene>", "scene file ends with </scene>");
        } else if (index < static_cast<std::size_t>(primCount) + 2) {
            pugi::xml_document object;
            check(static_cast<bool>(object.load_buffer(line.data(), line.size())), "object line parses as XML");
            const pugi::xml_node group = object.first_child();
            check(std::string_view(group.name()) == "SceneObjectGroup" && !group.next_sibling(),
                  "object line holds one object");
        }
    }
    check(lineCount == static_cast<std::size_t>(primCount) + 4, "one line per prim");

    pugi::xml_document document;
    check(static_cast<bool>(document.load_buffer(scene.data(), scene.size())), "scene file parses as XML");
    const pugi::xml_node root = document.first_child();
    check(std::string_view(root.name()) == "scene" && !root.next_sibling(), "one scene element");
    int objects = 0;
    for (const pugi::xml_node object : root.children()) {
        check(std::string_view(object.name()) == "SceneObjectGroup", "only objects in the scene");
        ++objects;
    }
    check(objects == primCount, "one object per prim");
}

// Cuts the listing into record texts and, in a second listing, into lines, and parses each
// record into a PrimRecord and a PackedRecord: cuts, outcomes, names and fields must agree.
void checkListingCuts(const std::string& listing)
{
    const std::string text = text::normaliseLineEnds(listing);
    convert::PrimListing byText(text, convert::PrimListing::CrLfChecked{});
    auto checked = convert::PrimListing::ifOnlyCrLf(text);
    check(checked.has_value(), "a normalised listing has only CR LF line ends");
    convert::PrimListing& byLines = *checked;
    check(byText.headerLine() == byLines.headerLine(), "both listings cut the same header");
    convert::RecordCut textCut;
    convert::RecordCut cut;
    convert::PackedRecord packed;
    const auto recordTextOf = [](const convert::RecordCut& c) {
        return c.asLines ? "\n" + std::string(c.lineA) + "\r\n" + std::string(c.lineB) + "\r" : c.text;
    };
    while (true) {
        const convert::CutOutcome outcome = byText.cutRecord(textCut);
        check(byLines.cutRecord(cut) == outcome, "both cuts end alike");
        if (outcome != convert::CutOutcome::Record) break;
        const std::string recordText = recordTextOf(textCut);
        check(recordTextOf(cut) == recordText, "both cuts give the same record");
        const auto record = test::parseRecordPlainly(recordText);
        check(convert::parseRecord(cut, packed) == record.has_value(), "both parses agree on the outcome");
        if (!record) break;
        check(packed.name() == record->name && packed.recordText() == record->recordText,
              "both parses give the same name and text");
        check(packed.fieldCount() == record->fields.size(), "both parses give the same fields");
        for (std::size_t i = 0; i < record->fields.size(); ++i) {
            check(packed.field(i) == record->fields[i], "both parses give the same fields");
        }
    }
    check(byText.remainingText() == byLines.remainingText(), "both cuts leave the same text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The last byte picks the run's other inputs; the whole input is the listing.
    const unsigned choice = size == 0 ? 0 : data[size - 1];
    const CounterCase& counter = kCounters[choice % kCounters.size()];
    const bool fromFile = (choice & 0x08) != 0;
    const RezCase& rez = kRezPositions[(choice >> 4) % kRezPositions.size()];
    const std::string owner = (choice & 0x40) != 0 ? "a&b<c>\"d'" : kOwner;

    // The listing box holds UTF-8 text; a loaded file has its line ends made CR LF first.
    std::string listing = text::decodeText(std::string(reinterpret_cast<const char*>(data), size));
    if (fromFile) listing = text::toCrLfLines(listing);

    checkListingCuts(listing);

    test::FakeFileSystem files;
    files.addFolder("/os");
    test::FakeRandom random;
    convert::ConversionRequest request;
    request.listingText = listing;
    request.rezX = rez.x;
    request.rezY = rez.y;
    request.rezZ = rez.z;
    request.ownerUuid = owner;
    request.localIdCounter = counter.text;
    request.outputFolder = "/os";
    request.outputName = "scene";
    request.replaceExisting = true;
    const convert::ConversionReport report = convert::runConversion(request, files, random);

    check(files.openOutputs == 0, "no output left open");
    check(!report.failedWith(convert::ConversionError::Cancelled), "a named run is not cancelled");
    check(report.failedWith(convert::ConversionError::EmptyListing) == convert::holdsNoPrims(listing),
          "only a listing of blanks holds no prims");
    check(!report.failedWith(convert::ConversionError::InvalidField) || owner != kOwner || !counter.value ||
              std::string_view(rez.y).empty(),
          "only a value no run can take is refused");
    if (!report) {
        check(files.files.empty(), "a failed run leaves nothing behind");
        check(!report.failedWith(convert::ConversionError::OutputFailed), "this file system fails no write");
        return 0;
    }

    check(files.files.size() == 2, "a run that succeeds writes the scene file and the copy");
    const auto scene = files.files.find("/os/scene.xml");
    const auto copy = files.files.find("/os/scene.xml" + std::string(convert::kListingCopySuffix));
    check(scene != files.files.end() && copy != files.files.end(), "both files under their names");
    checkSceneFile(scene->second, report.primCount);

    check(copy->second.ends_with("\r\n") && hasOnlyCrLf(copy->second), "the copy's lines end in CR LF");
    check(withoutLineEnds(copy->second) == withoutLineEnds(listing), "the copy holds the listing's text");

    if (report.end == convert::ConversionEnd::EndOfListing) {
        check(report.remainingListing.empty(), "a complete run leaves the listing box empty");
    }
    if (report.primCount > 0) {
        check(counter.value.has_value(), "records converted only with a usable counter");
        check(report.localIdCounter == std::to_string(*counter.value + report.primCount),
              "the counter went up by one per prim");
    } else {
        check(report.localIdCounter == counter.text, "no record, no change of the counter");
    }
    return 0;
}
