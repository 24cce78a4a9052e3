#include "convert/conversion_run.h"
#include "text/text_codec.h"

#include "testing/fake_platform.h"
#include "testing/first_difference.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vantor::convert;
using namespace vantor::test;

namespace {

const std::string kScene = "/os/maison.xml", kCopy = "/os/maison.xml_SLbase.txt";
const std::string kOneCube = crlf({kHeader, lineA("Cube"), kLineB});

// Listings of many records, more than one piece of the scene file: record i is named Prim i.
std::vector<std::string> manyRecords(std::size_t count)
{
    std::vector<std::string> lines = {kHeader};
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(lineA("Prim " + std::to_string(i), std::to_string(100 + i) + ".5"));
        lines.push_back(kLineB);
    }
    return lines;
}

// The lines of a scene file, which must end with CR LF.
std::vector<std::string_view> sceneLines(const std::string& scene)
{
    EXPECT_TRUE(scene.ends_with("\r\n"));
    return vantor::text::splitLines(scene);
}

class ConversionRun : public ::testing::Test {
protected:
    ConversionReport run(const std::string& listing)
    {
        request.listingText = listing;
        request.progress = log.callback();
        auto report = runConversion(request, files, random);
        EXPECT_EQ(files.openOutputs, 0);
        return report;
    }
    // Earlier files of both names, kept for expectUnchanged.
    void addEarlierFiles()
    {
        files.files[kScene] = "scene of an earlier run";
        files.files[kCopy] = "old copy";
        before = files.files;
    }
    void expectUnchanged() { EXPECT_EQ(files.files, before); }

    ConversionRun()
    {
        files.addFolder("/os");
        // The user agreed to replace an earlier scene file, as the window asks before a run.
        request.replaceExisting = true;
    }

    FakeFileSystem files;
    FakeRandom random;
    ProgressLog log;
    ConversionRequest request = requestFor("");
    std::map<std::string, std::string> before;
};

TEST_F(ConversionRun, WritesTheSceneFileWithItsListingCopy)
{
    const std::string listing = crlf(manyRecords(700));
    request.ownerUuid = "3F1C9A2E-7B40-4D5E-9C81-6A2F0E4B7D13";  // upper-case digits are a UUID too
    const auto report = run(listing);
    EXPECT_EQ(report.primCount, 700);
    EXPECT_EQ(firstDifference(files.files.at(kCopy), listing + "\r\n"), std::nullopt);
    // The records in order, over more than one piece of the scene file; one progress report a
    // record, and one more before the files go in place.
    const auto scene = sceneLines(files.files.at(kScene));
    ASSERT_EQ(scene.size(), 704u);
    EXPECT_EQ(element(scene[2], "CreatorID"), "<UUID>" + request.ownerUuid + "</UUID>");
    ASSERT_EQ(log.reports.size(), 701u);
    for (std::size_t i = 0; i < 700; ++i) {
        ASSERT_EQ(element(scene[i + 2], "Name"), "Prim " + std::to_string(i));
        ASSERT_EQ(element(scene[i + 2], "LocalID"), std::to_string(720002 + i));
        ASSERT_EQ(log.reports[i].recordsDone, i + 1);
        ASSERT_LE(log.reports[i].bytesConsumed, log.reports[i + 1].bytesConsumed);
    }
    EXPECT_EQ(log.reports.back().bytesTotal, listing.size() + 2);

    // The next run continues the counter; a name given with ".xml" takes another, and dots
    // inside a name are fine.
    request.localIdCounter = report.localIdCounter;
    request.outputName = ".." + report.listingName;
    EXPECT_EQ(run(kOneCube).listingName, "..maison.xml.xml");
    EXPECT_EQ(element(files.files.at("/os/..maison.xml.xml"), "LocalID"), "720702");
}

TEST_F(ConversionRun, ListingLayoutsGiveTheSameScene)
{
    // Identical records each become a prim.
    const std::string cube = lineA("Cube");
    ASSERT_TRUE(run(crlf({kHeader, cube, kLineB, cube, kLineB, cube, kLineB})));
    const std::string scene = files.files.at(kScene);
    EXPECT_EQ(sceneLines(scene).size(), 3u + 4);
    for (const auto& [name, listing] : std::vector<std::pair<const char*, std::string>>{
             {"lone line feeds, blank lines after the records",
              kHeader + "\n" + cube + "\n" + kLineB + "\n" + cube + "\n" + kLineB + "\n" + cube + "\n" + kLineB
                  + "\n\n \n"},
             {"the header pasted again among the records",
              crlf({kHeader, cube, kLineB, kHeader, cube, kLineB, cube, kLineB})}}) {
        SCOPED_TRACE(name);
        random.position = 0;
        const auto report = run(listing);
        ASSERT_TRUE(report);
        EXPECT_EQ(files.files.at(kScene), scene);
        EXPECT_EQ(files.files.at(kCopy), vantor::text::normaliseLineEnds(listing) + "\r\n");
    }
}

TEST_F(ConversionRun, RunsThatEndEarlyLeaveEarlierFilesAsTheyWere)
{
    const std::string bad = lineA("Bad", "12x"), noVector = "[9:05]  Rezzer: 100, 100, 30";
    const std::string hugeA = "[9:05]  Huge: 1, <1, 2, 3>, <0, 0, 0, 1>, <1.7976931348623157E+308, 1, 1>, ";
    const std::string rest = "\n" + crlf({lineA("Rest"), kLineB, ""}), cube = lineA("Cube");
    struct Row {
        const char* why;
        std::string listing;
        ConversionError outcome;
        std::string failing, remaining, counter;  // the counter keeps what the run took
        std::string name = "maison";              // empty: no output name given
        bool replace = true;
        std::string counterBefore = "720001";
    };
    std::vector<Row> rows = {
        {"the name is taken", kOneCube, ConversionError::NameTaken, "", kOneCube, "720001", "maison", false},
        {"no name", kOneCube, ConversionError::Cancelled, "", kOneCube, "720001", ""},
        {"a bad number", crlf({kHeader, cube, kLineB, bad, kLineB, lineA("Rest"), kLineB}),
         ConversionError::RecordNotConverted, "\n" + bad + kLineB + "\r", rest, "720003"},
        {"a size whose 15 digits would read back beyond the double range",
         crlf({kHeader, hugeA, kLineB, lineA("Rest"), kLineB}), ConversionError::RecordNotConverted,
         "\n" + hugeA + kLineB + "\r", rest, "720002"},
        {"a header without a vector", crlf({noVector, lineA("Rest"), kLineB}), ConversionError::RecordNotConverted,
         noVector + "\r", rest, "720001"},
        {"a last record too short", crlf({kHeader, cube, kLineB, "x", "y"}), ConversionError::RecordTooShort, "",
         "\nx\r\ny\r\n\r\n", "720002"},
        {"a last record without line B", crlf({kHeader, cube, kLineB, lineA("Half")}),
         ConversionError::RecordNotConverted, "\n" + lineA("Half") + "\r", "\n", "720003"},
        {"a last line A without a line end", crlf({kHeader, cube, kLineB}) + lineA("Half"),
         ConversionError::RecordNotConverted, "\n" + lineA("Half") + "\r", "\n", "720003"},
        {"a LocalID past the largest", crlf({kHeader, cube, kLineB, lineA("Ball"), kLineB}),
         ConversionError::CounterOutOfRange, "", "\n\r\n", "4294967295", "maison", true, "4294967294"}};
    // After hundreds of documents, past the first piece of the scene file: a record that does
    // not parse (the counter not taken) and one that holds a bad number (taken).
    for (const auto& [why, at, parses] : {std::tuple{"a broken record after 519", 519, false},
                                          std::tuple{"a bad number after 450", 450, true}}) {
        auto lines = manyRecords(600);
        const std::size_t line = 1 + 2 * static_cast<std::size_t>(at);
        lines[line] = parses ? bad : "[9:05]  Broken 1, 2, 3, 4, 5, 6, 7, ";
        const std::vector<std::string> after(lines.begin() + static_cast<std::ptrdiff_t>(line + 2), lines.end());
        rows.push_back({why, crlf(lines), ConversionError::RecordNotConverted, "\n" + lines[line] + kLineB + "\r",
                        "\n" + crlf(after) + "\r\n", std::to_string(720001 + at + (parses ? 1 : 0))});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        addEarlierFiles();
        request.outputName = row.name;
        request.replaceExisting = row.replace;
        request.localIdCounter = row.counterBefore;
        const auto report = run(row.listing);
        EXPECT_EQ(errorOf(report), row.outcome);
        EXPECT_EQ(failureOf(report).recordText, row.failing);
        EXPECT_EQ(report.remainingListing, row.remaining);
        EXPECT_EQ(report.localIdCounter, row.counter);
        EXPECT_EQ(report.listingName, row.name + ".xml");
        expectUnchanged();
    }
}

// Refused before anything is asked or written: the listing and the counter stay.
TEST_F(ConversionRun, RequestsNoRunCanTakeAreRefusedBeforeTheRun)
{
    addEarlierFiles();
    struct Row {
        const char* why;
        std::string listing;
        std::string ConversionRequest::*field;
        std::string value;
        std::optional<RequestField> invalid;  // nothing: an empty listing
    };
    std::vector<Row> rows = {
        {"an empty listing", "", &ConversionRequest::rezY, "125", std::nullopt},
        {"blanks and line ends only", " \r\n\t\r\n", &ConversionRequest::rezY, "125", std::nullopt},
        {"a rez value with a comma", kOneCube, &ConversionRequest::rezY, "1,5", RequestField::RezY}};
    // Owners that are no UTF-8, a digit short, hold a "g", a digit for a dash, a blank, markup.
    for (const char* owner : {"\xff\xfe", "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d1", "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d1g",
                              "3f1c9a2e17b40-4d5e-9c81-6a2f0e4b7d13", " 3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13",
                              "<a>&amp;</a>-0000-0000-0000-0000000000"}) {
        rows.push_back({owner, kOneCube, &ConversionRequest::ownerUuid, owner, RequestField::OwnerUuid});
    }
    for (const char* counter :
         {"720001.5", "1e300", "99999999999999999999", "4294967296", " 7", "-1", "+7", "", "abc"}) {
        rows.push_back({counter, kOneCube, &ConversionRequest::localIdCounter, counter, RequestField::LocalIdCounter});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        ConversionRequest good = request;
        request.*row.field = row.value;
        const auto report = run(row.listing);
        EXPECT_EQ(errorOf(report), row.invalid ? ConversionError::InvalidField : ConversionError::EmptyListing);
        EXPECT_EQ(failureOf(report).invalidField, row.invalid);
        EXPECT_EQ(report.remainingListing, row.listing);
        EXPECT_EQ(report.localIdCounter, request.localIdCounter);
        expectUnchanged();
        request = good;
    }
}

// The counter that would pass the largest ends a run among the runs that end early.
TEST_F(ConversionRun, LocalIdsFollowTheCounterUpToTheLargest)
{
    for (const auto& [counter, first] : std::vector<std::pair<std::string, std::string>>{
             {"0", "1"}, {"007", "8"}, {"2147483647", "2147483648"}}) {
        files.files.clear();
        request.localIdCounter = counter;
        ASSERT_TRUE(run(kOneCube)) << counter;
        EXPECT_EQ(element(files.files.at(kScene), "LocalID"), first);
    }
}

TEST_F(ConversionRun, BothFilesAreReadyBeforeEitherGoesInPlace)
{
    // A new name: the scene file goes in only while the name is free; then its copy.
    request.replaceExisting = false;
    ASSERT_TRUE(run(crlf(manyRecords(600))));
    const std::vector<std::string> placed = {"prepare " + kScene, "prepare " + kCopy, "commitNew " + kScene,
                                             "commit " + kCopy};
    ASSERT_GE(files.operations.size(), placed.size());
    EXPECT_EQ(std::vector<std::string>(files.operations.end() - 4, files.operations.end()), placed);
    EXPECT_EQ(std::count_if(files.operations.begin(), files.operations.end(),
                            [](const std::string& op) { return op.starts_with("write"); }),
              files.operations.end() - files.operations.begin() - 4)
        << "a write after a prepare";
}

TEST_F(ConversionRun, OutputFailuresLeaveEarlierFilesAsTheyWere)
{
    struct Row {
        const char* why;
        std::string refuse, failPrepare, failCommit, failedPath;
        std::string missing = "";  // the earlier file there is not
        bool sceneIsFolder = false;
        std::string name = "maison";
    };
    std::vector<Row> rows = {
             {"no output folder", "", "", "", "/nowhere"},
             {"the scene file cannot be made", kScene, "", "", kScene},
             {"the copy cannot be made", kCopy, "", "", kCopy},
             {"the scene file cannot be readied", "", kScene, "", kScene},
             {"the copy cannot be readied", "", kCopy, "", kCopy},
             {"the scene file cannot go in", "", "", kScene, kScene},
             {"the scene file cannot go in, no copy before", "", "", kScene, kScene, kCopy},
             // The scene file was already in place when its copy failed: the earlier one is
             // back, or without one the new one goes.
             {"the copy cannot go in", "", "", kCopy, kCopy},
             {"the copy cannot go in, no scene file before", "", "", kCopy, kCopy, kScene},
             {"the scene path is a folder", "", "", "", kScene, kScene, true}};
    // Front ends ask again for (window) or refuse (CLI) a name that leaves the folder; the run
    // never writes outside it either.
    for (const char* name : {"../escape", "a/b", "a\\b", ".", ".."}) {
        rows.push_back({name, "", "", "", "/os/" + std::string(name) + ".xml", "", false, name});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        addEarlierFiles();
        files.files.erase(row.missing);
        files.folders.erase(kScene);
        if (row.sceneIsFolder) files.addFolder(kScene);
        before = files.files;
        files.refuseCreate = {row.refuse};
        files.failPrepare = {row.failPrepare};
        files.failCommit = {row.failCommit};
        request.outputFolder = row.failedPath == "/nowhere" ? "/nowhere" : "/os";
        request.outputName = row.name;
        const auto report = run(kOneCube);
        EXPECT_EQ(errorOf(report), ConversionError::OutputFailed);
        EXPECT_EQ(failureOf(report).path, row.failedPath);
        EXPECT_NE(failureOf(report).reason, "");
        expectUnchanged();
    }
}

TEST_F(ConversionRun, ASceneFileThatAppearsMeanwhileIsReplacedOnlyWhenTheRequestSaysSo)
{
    request.replaceExisting = false;
    files.files[kCopy] = "old copy";
    files.appearMeanwhile[kScene] = "another program's";
    before = files.files;
    before[kScene] = "another program's";
    const auto report = run(kOneCube);
    EXPECT_EQ(errorOf(report), ConversionError::NameTaken);
    expectUnchanged();  // the other program's scene file and the earlier copy stay

    request.replaceExisting = true;
    files.files.erase(kScene);
    files.appearMeanwhile[kScene] = "another program's";
    ASSERT_TRUE(run(kOneCube));
    EXPECT_EQ(files.files.at(kCopy), kOneCube + "\r\n");
}

TEST_F(ConversionRun, GuardStopKeepsAClosedSceneFile)
{
    const std::string stopA = "[9:05]  S: 1,<1,2,3>,<0,0,0,";  // 28 characters: the guard becomes 30
    const auto report =
        run(crlf({kHeader, lineA("Cube"), kLineB, stopA, "1>,<1,1,1>, " + kLineB, lineA("Last"), kLineB}));
    EXPECT_EQ(report.end, ConversionEnd::GuardStop);
    EXPECT_EQ(report.remainingListing, "\n" + crlf({lineA("Last"), kLineB, ""}));
    const auto lines = sceneLines(files.files.at(kScene));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(element(lines[3], "Name"), "S");
    EXPECT_EQ(lines.back(), "</scene>");
    EXPECT_EQ(files.files.count(kCopy), 1u);
}

TEST_F(ConversionRun, ExampleHouseMatchesTheCheckedInSceneFile)
{
    request.outputName = "house";
    const auto report = run(readFile(std::filesystem::path(VANTOR_SOURCE_DIR) / "examples" / "house.txt"));
    ASSERT_TRUE(report);
    EXPECT_EQ(files.files.at("/os/house.xml"), readFile(std::filesystem::path(VANTOR_TEST_DATA_DIR) / "house.xml"));
}

TEST_F(ConversionRun, AStoppedRunChangesNothing)
{
    const std::string listing = crlf(manyRecords(700));
    struct Row {
        const char* name;
        std::size_t stopAt;  // the progress report that asks to stop
    };
    for (const Row& row : {Row{"at the first record", 1}, Row{"among the records, past a piece", 500},
                           Row{"when both files are complete", 701}}) {
        SCOPED_TRACE(row.name);
        addEarlierFiles();
        log = ProgressLog{};
        log.stopAt = row.stopAt;
        const auto report = run(listing);
        EXPECT_EQ(errorOf(report), ConversionError::Stopped);
        EXPECT_EQ(log.reports.size(), row.stopAt);
        EXPECT_EQ(report.remainingListing, listing);
        EXPECT_EQ(report.localIdCounter, "720001");
        expectUnchanged();
    }
    // A progress callback that throws between records: both files are dropped.
    addEarlierFiles();
    log = ProgressLog{};
    log.throwAt = 500;
    request.listingText = listing;
    request.progress = log.callback();
    EXPECT_THROW((void)runConversion(request, files, random), std::runtime_error);
    EXPECT_EQ(files.openOutputs, 0);
    expectUnchanged();
}

}  // namespace
