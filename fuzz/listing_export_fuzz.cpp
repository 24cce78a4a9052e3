// The listing-record builder and the export of a loaded table, into an in-memory file system.
// The input is a scene file; what it loads (without a rectangle: every object) is exported.
// The scene file written must hold each entry's bytes unchanged between the fixed lines. The
// listing must be what one builder writes object by object (the header, then the records),
// or, when an object gives no header or record, be left unwritten with that object named.
// A listing written converts again, unless its first record has no type code or no hole
// code, which the listing format cannot carry.

#include "fuzz/fuzz_support.h"
#include "convert/conversion_run.h"
#include "extract/listing_record.h"
#include "extract/scene_load.h"
#include "extract/selection_export.h"

#include "testing/fake_platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

using namespace vantor;
using fuzz::check;
using fuzz::fail;

const char* const vantor::fuzz::kTargetName = "listing export";

namespace {

// The listing one builder writes for the table, object by object; or the failure exportSelection
// must report.
struct ExpectedListing {
    std::string text;
    std::optional<extract::ExportError> error;
    std::size_t objectNumber = 0;
    extract::RecordFailure cause;
    bool recordsOfTwoLines = true;  // every record two lines per part, without other line breaks
};

// Whether text holds exactly breaks line breaks, each a CR LF.
bool hasLineBreaks(std::string_view text, std::size_t breaks)
{
    std::size_t found = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++found;
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            return false;
        }
    }
    return found == breaks;
}

ExpectedListing expectedListing(const extract::ObjectLines& table, const platform::Clock& clock)
{
    ExpectedListing expected;
    if (table.empty()) return expected;
    const extract::BuiltText header = extract::buildHeaderLineFor(table[table.size() - 1], clock);
    if (!header) {
        expected.error = extract::ExportError::HeaderFailed;
        expected.objectNumber = table.size();
        expected.cause = *header.failure;
        return expected;
    }
    expected.text = header.text + "\r\n";
    extract::ListingRecordBuilder builder(clock);
    for (std::size_t k = 0; k < table.size(); ++k) {
        const extract::BuiltText record = builder.buildListingRecord(table[k]);
        if (!record) {
            expected.error = extract::ExportError::RecordFailed;
            expected.objectNumber = k + 1;
            expected.cause = *record.failure;
            return expected;
        }
        expected.recordsOfTwoLines =
            expected.recordsOfTwoLines && hasLineBreaks(record.text, 2 * builder.recordCount() - 1);
        expected.text += record.text + "\r\n";
    }
    return expected;
}

// Whether the first record's line B (the listing's third line) begins with a type code and
// a hole code: "T, H, ...".
bool firstRecordHasBothCodes(std::string_view listing)
{
    for (int line = 0; line < 2; ++line) {
        const std::size_t end = listing.find("\r\n");
        if (end == std::string_view::npos) return false;
        listing.remove_prefix(end + 2);
    }
    const std::size_t comma = listing.find(", ");
    return comma != std::string_view::npos && comma > 0 && listing.substr(comma + 2, 1) != ",";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const extract::SceneLoad load = extract::loadSceneText(input);
    if (!load) return 0;
    const extract::ObjectLines& table = load.objects;

    test::FakeFileSystem files;
    files.addFolder("/out");
    test::FakeClock clock;
    clock.current = {static_cast<int>(size % 24), static_cast<int>(size % 60)};
    const extract::ExportReport report = extract::exportSelection(table, "/out/sel.xml", clock, files);
    check(files.openOutputs == 0, "no output left open");
    check(report.scenePath == "/out/sel.xml" && report.listingPath == "/out/sel.txt", "the two paths");
    if (table.empty()) {
        // A listing without a header line would not convert: nothing is written at all.
        check(report.failure && report.failure->error == extract::ExportError::NothingToSave,
              "an empty table is nothing to save");
        check(files.files.empty(), "nothing to save writes no file");
        return 0;
    }

    // The scene file: each object's bytes unchanged, one per line, between the fixed lines.
    std::string scene = "<scene>\r\n\r\n";
    for (const std::string_view entry : table) {
        scene += entry;
        scene += "\r\n";
    }
    scene += "\r\n</scene>\r\n";
    const auto written = files.files.find("/out/sel.xml");
    check(written != files.files.end() && written->second == scene, "the scene file holds every entry unchanged");
    check(report.objectCount == table.size(), "the report counts the table's objects");

    const ExpectedListing expected = expectedListing(table, clock);
    const auto listing = files.files.find("/out/sel.txt");
    if (expected.error) {
        check(report.failure && report.failure->error == *expected.error, "the export fails as the builder does");
        check(report.failure->objectNumber == expected.objectNumber && report.failure->cause == expected.cause,
              "the export names the object and value that failed");
        check(listing == files.files.end(), "a failed listing is not written");
        return 0;
    }
    check(!report.failure, "the export succeeds where every record builds");
    check(listing != files.files.end() && listing->second == expected.text,
          "the listing is the header and every record, in table order");
    check(expected.recordsOfTwoLines, "each record is two lines per part");
    if (table.empty() || !firstRecordHasBothCodes(listing->second)) return 0;

    // The listing converts again.
    test::FakeFileSystem osFiles;
    osFiles.addFolder("/os");
    test::FakeRandom random;
    convert::ConversionRequest request;
    request.listingText = listing->second;
    request.rezX = request.rezY = "128";
    request.rezZ = "25";
    request.ownerUuid = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
    request.localIdCounter = "720001";
    request.outputFolder = "/os";
    request.outputName = "scene";
    request.replaceExisting = true;
    const convert::ConversionReport converted = convert::runConversion(request, osFiles, random);
    if (!converted) {
        std::fprintf(stderr, "conversion error %d at: ", static_cast<int>(converted.failure->error));
        for (const char c : converted.failure->recordText) {
            std::fputc(static_cast<unsigned char>(c) < 0x20 ? '?' : c, stderr);  // one line, no NUL
        }
        std::fputc('\n', stderr);
        fail("an exported listing converts again");
    }
    check(converted.primCount >= 1, "a converted listing gives its objects");
    return 0;
}
