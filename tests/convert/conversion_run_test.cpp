#include "convert/conversion_run.h"
#include "text/text_codec.h"

#include "testing/fake_platform.h"
#include "test_support.h"
#include "testing/failures.h"

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

const std::string kOldScene = "scene of an earlier run";

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
        files.files["/os/maison.xml"] = kOldScene;
        files.files["/os/maison.xml_SLbase.txt"] = "old copy";
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

TEST_F(ConversionRun, WritesSceneFileAndListingCopy)
{
    const std::string listing = crlf({kHeader, lineA("Cube"), kLineB, lineA("Fish"), kLineB});
    const auto report = run(listing);
    EXPECT_TRUE(report);
    EXPECT_EQ(report.listingName, "maison.xml");
    EXPECT_EQ(report.scenePath, "/os/maison.xml");
    EXPECT_EQ(report.listingCopyPath, "/os/maison.xml_SLbase.txt");
    EXPECT_EQ(report.primCount, 2);
    EXPECT_EQ(report.localIdCounter, "720003");
    EXPECT_EQ(report.remainingListing, "");
    EXPECT_EQ(files.files.at("/os/maison.xml_SLbase.txt"), listing + "\r\n");
    // One report a record, and one more before the files go in place.
    ASSERT_EQ(log.reports.size(), 3u);
    EXPECT_EQ(log.reports[1].recordsDone, 2u);
    EXPECT_LE(log.reports.front().bytesConsumed, log.reports[1].bytesConsumed);
    EXPECT_EQ(log.reports.back().bytesTotal, listing.size() + 2);

    // The next run continues the counter; a name given with ".xml" takes another.
    request.localIdCounter = report.localIdCounter;
    request.outputName = report.listingName;
    const auto second = run(kOneCube);
    EXPECT_EQ(second.listingName, "maison.xml.xml");
    EXPECT_EQ(element(files.files.at("/os/maison.xml.xml"), "LocalID"), "720004");
}

TEST_F(ConversionRun, RunsThatStopEarlyKeepTheRestAndEarlierFiles)
{
    const std::string bad = lineA("Bad", "12x"), noVector = "[9:05]  Rezzer: 100, 100, 30";
    const std::string hugeA = "[9:05]  Huge: 1, <1, 2, 3>, <0, 0, 0, 1>, <1.7976931348623157E+308, 1, 1>, ";
    const std::string rest = "\n" + crlf({lineA("Rest"), kLineB, ""});
    struct Row {
        std::string name;  // empty: no output name given
        bool replace;
        std::string listing;
        ConversionError outcome;
        std::string failing, remaining, counter;
    };
    for (const auto& row : std::vector<Row>{
             {"maison", false, kOneCube, ConversionError::NameTaken, "", kOneCube, "720001"},
             {"", true, kOneCube, ConversionError::Cancelled, "", kOneCube, "720001"},
             {"maison", true, crlf({kHeader, lineA("Cube"), kLineB, bad, kLineB, lineA("Rest"), kLineB}),
              ConversionError::RecordNotConverted, "\n" + bad + kLineB + "\r", rest, "720003"},
             // a size whose 15 digits would read back beyond the double range
             {"maison", true, crlf({kHeader, hugeA, kLineB, lineA("Rest"), kLineB}), ConversionError::RecordNotConverted,
              "\n" + hugeA + kLineB + "\r", rest, "720002"},
             {"maison", true, crlf({noVector, lineA("Rest"), kLineB}), ConversionError::RecordNotConverted,
              noVector + "\r", rest, "720001"},
             {"maison", true, crlf({kHeader, lineA("Cube"), kLineB, "x", "y"}), ConversionError::RecordTooShort, "",
              "\nx\r\ny\r\n\r\n", "720002"},
             // a last record without its line B, with or without a line end after line A
             {"maison", true, crlf({kHeader, lineA("Cube"), kLineB, lineA("Half")}), ConversionError::RecordNotConverted,
              "\n" + lineA("Half") + "\r", "\n", "720003"},
             {"maison", true, crlf({kHeader, lineA("Cube"), kLineB}) + lineA("Half"), ConversionError::RecordNotConverted,
              "\n" + lineA("Half") + "\r", "\n", "720003"}}) {
        addEarlierFiles();
        request.outputName = row.name;
        request.replaceExisting = row.replace;
        const auto report = run(row.listing);
        EXPECT_EQ(errorOf(report), row.outcome) << row.listing;
        EXPECT_EQ(failureOf(report).recordText, row.failing);
        EXPECT_EQ(report.remainingListing, row.remaining);
        EXPECT_EQ(report.localIdCounter, row.counter);  // the counter keeps what the run took
        EXPECT_EQ(report.listingName, row.name + ".xml");
        expectUnchanged();
    }
}

TEST_F(ConversionRun, IdenticalRecordsEachBecomeAPrimAndARepeatedHeaderChangesNothing)
{
    std::vector<std::string> lines = {kHeader}, pastedTwice = {kHeader};
    for (int i = 0; i < 600; ++i) {
        lines.insert(lines.end(), {lineA("Cube"), kLineB});
        pastedTwice.insert(pastedTwice.end(), {lineA("Cube"), kLineB});
        if (i == 299) pastedTwice.push_back(kHeader);
    }
    const auto report = run(crlf(lines));
    ASSERT_TRUE(report);
    EXPECT_EQ(report.primCount, 600);
    const std::string scene = files.files.at("/os/maison.xml");
    EXPECT_EQ(sceneLines(scene).size(), 604u);
    random.position = 0;
    const auto again = run(crlf(pastedTwice));
    ASSERT_TRUE(again);
    EXPECT_EQ(again.primCount, 600);
    EXPECT_EQ(files.files.at("/os/maison.xml"), scene);
}

TEST_F(ConversionRun, LocalIdCounterIsAWholeNumberThatALocalIdHolds)
{
    // The counter, then the first prim's LocalID; the last LocalID ends the run on the counter.
    for (const auto& [counter, first] : std::vector<std::pair<std::string, std::string>>{
             {"720001", "720002"}, {"0", "1"}, {"007", "8"}, {"2147483647", "2147483648"},
             {"4294967294", "4294967295"}}) {
        files.files.clear();
        request.localIdCounter = counter;
        const auto report = run(kOneCube);
        ASSERT_TRUE(report) << counter;
        EXPECT_EQ(element(files.files.at("/os/maison.xml"), "LocalID"), first);
    }
    files.files.clear();
    request.localIdCounter = "4294967294";
    const auto passing = run(crlf({kHeader, lineA("Cube"), kLineB, lineA("Ball"), kLineB}));
    EXPECT_EQ(errorOf(passing), ConversionError::CounterOutOfRange);
    EXPECT_EQ(passing.localIdCounter, "4294967295");
    EXPECT_EQ(failureOf(passing).recordText, "");
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ConversionRun, ValuesNoRunCanTakeAndEmptyListingsEndItBeforeAnyQuestion)
{
    addEarlierFiles();
    const std::string good = request.ownerUuid;
    struct Row {
        std::string listing, rezY, owner, counter;
        ConversionError outcome;
        std::optional<RequestField> field;
    };
    for (const auto& row : std::vector<Row>{
             {"", "125", good, "720001", ConversionError::EmptyListing, std::nullopt},
             {" \r\n\t\r\n", "125", good, "720001", ConversionError::EmptyListing, std::nullopt},
             {kOneCube, "1,5", good, "720001", ConversionError::InvalidField, RequestField::RezY},
             {kOneCube, "125", "\xff\xfe", "720001", ConversionError::InvalidField, RequestField::OwnerUuid},
             {kOneCube, "125", "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d1", "720001", ConversionError::InvalidField,
              RequestField::OwnerUuid},
             {kOneCube, "125", "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d1g", "720001", ConversionError::InvalidField,
              RequestField::OwnerUuid},
             {kOneCube, "125", "3f1c9a2e17b40-4d5e-9c81-6a2f0e4b7d13", "720001", ConversionError::InvalidField,
              RequestField::OwnerUuid},
             {kOneCube, "125", " " + good, "720001", ConversionError::InvalidField, RequestField::OwnerUuid},
             {kOneCube, "125", "<a>&amp;</a>-0000-0000-0000-0000000000", "720001", ConversionError::InvalidField,
              RequestField::OwnerUuid}}) {
        request.rezY = row.rezY;
        request.ownerUuid = row.owner;
        request.localIdCounter = row.counter;
        const auto report = run(row.listing);
        EXPECT_EQ(errorOf(report), row.outcome) << row.owner;
        EXPECT_EQ(failureOf(report).invalidField, row.field) << row.owner;
        EXPECT_EQ(report.remainingListing, row.listing);
        EXPECT_EQ(report.localIdCounter, row.counter);
        expectUnchanged();
    }
    request.ownerUuid = good;
    for (const char* counter : {"720001.5", "1e300", "99999999999999999999", "4294967296", " 7", "-1", "+7", "", "abc"}) {
        request.localIdCounter = counter;
        const auto report = run(kOneCube);
        EXPECT_EQ(errorOf(report), ConversionError::InvalidField) << counter;
        EXPECT_EQ(failureOf(report).invalidField, RequestField::LocalIdCounter) << counter;
        expectUnchanged();
    }
    // Upper-case digits are a UUID too, written as typed.
    request.localIdCounter = "720001";
    request.ownerUuid = "3F1C9A2E-7B40-4D5E-9C81-6A2F0E4B7D13";
    ASSERT_TRUE(run(kOneCube));
    EXPECT_EQ(element(files.files.at("/os/maison.xml"), "CreatorID"), "<UUID>" + request.ownerUuid + "</UUID>");
}

TEST_F(ConversionRun, BothFilesAreReadyBeforeEitherGoesInPlace)
{
    const std::string scene = "/os/maison.xml", copy = "/os/maison.xml_SLbase.txt";
    // A new name: the scene file goes in only while the name is free; then its copy.
    request.replaceExisting = false;
    ASSERT_TRUE(run(crlf(manyRecords(600))));
    const std::vector<std::string> placed = {"prepare " + scene, "prepare " + copy, "commitNew " + scene,
                                             "commit " + copy};
    ASSERT_GE(files.operations.size(), placed.size());
    EXPECT_EQ(std::vector<std::string>(files.operations.end() - 4, files.operations.end()), placed);
    EXPECT_EQ(std::count_if(files.operations.begin(), files.operations.end(),
                            [](const std::string& op) { return op.starts_with("write"); }),
              files.operations.end() - files.operations.begin() - 4)
        << "a write after a prepare";

    // An earlier file the user agreed to replace is replaced.
    request.replaceExisting = true;
    files.operations.clear();
    ASSERT_TRUE(run(kOneCube));
    EXPECT_EQ(files.operations.at(files.operations.size() - 2), "commit " + scene);

    // A file that cannot be readied puts neither in place; one whose copy cannot go in takes
    // the scene file back out.
    for (const auto& [failPrepare, failCommit] : std::vector<std::pair<std::string, std::string>>{
             {scene, ""}, {copy, ""}, {"", copy}}) {
        addEarlierFiles();
        files.failPrepare = {failPrepare};
        files.failCommit = {failCommit};
        files.operations.clear();
        const auto report = run(kOneCube);
        EXPECT_EQ(errorOf(report), ConversionError::OutputFailed);
        EXPECT_EQ(failureOf(report).path, failPrepare.empty() ? failCommit : failPrepare);
        EXPECT_EQ(report.remainingListing, "\n\r\n");
        expectUnchanged();
        if (failPrepare.empty()) {
            EXPECT_EQ(files.operations.back(), "revert " + scene);
        }
    }
}

TEST_F(ConversionRun, ASceneFileThatAppearsMeanwhileIsReplacedOnlyWhenTheRequestSaysSo)
{
    const std::string scene = "/os/maison.xml", copy = "/os/maison.xml_SLbase.txt";
    request.replaceExisting = false;
    files.files[copy] = "old copy";
    files.appearMeanwhile[scene] = "another program's";
    before = files.files;
    before[scene] = "another program's";
    const auto report = run(kOneCube);
    EXPECT_EQ(errorOf(report), ConversionError::NameTaken);
    EXPECT_EQ(report.scenePath, scene);
    EXPECT_EQ(report.remainingListing, "\n\r\n");
    expectUnchanged();  // the other program's scene file and the earlier copy stay

    request.replaceExisting = true;
    files.files.erase(scene);
    files.appearMeanwhile[scene] = "another program's";
    ASSERT_TRUE(run(kOneCube));
    EXPECT_EQ(files.files.at(scene).substr(0, 9), "<scene>\r\n");
    EXPECT_EQ(files.files.at(copy), kOneCube + "\r\n");
}

TEST_F(ConversionRun, GuardStopKeepsAClosedSceneAndTheRest)
{
    const std::string stopA = "[9:05]  S: 1,<1,2,3>,<0,0,0,";  // 28 characters: the guard becomes 30
    const auto report =
        run(crlf({kHeader, lineA("Cube"), kLineB, stopA, "1>,<1,1,1>, " + kLineB, lineA("Last"), kLineB}));
    EXPECT_TRUE(report);
    EXPECT_EQ(report.end, ConversionEnd::GuardStop);
    EXPECT_EQ(report.primCount, 2);
    EXPECT_EQ(report.remainingListing, "\n" + crlf({lineA("Last"), kLineB, ""}));
    const auto lines = sceneLines(files.files.at("/os/maison.xml"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(element(lines[3], "Name"), "S");
    EXPECT_EQ(lines.back(), "</scene>");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 1u);
}

TEST_F(ConversionRun, LoneLineFeedsEndLinesAndTrailingBlanksEndTheListing)
{
    const auto report = run(kHeader + "\n" + lineA("Cube") + "\n" + kLineB + "\n\n \n");
    ASSERT_TRUE(report);
    EXPECT_EQ(report.primCount, 1);
    EXPECT_EQ(files.files.size(), 2u);
    EXPECT_EQ(files.files.at("/os/maison.xml_SLbase.txt"), crlf({kHeader, lineA("Cube"), kLineB, "", " ", ""}));
    const std::string withLf = files.files.at("/os/maison.xml");
    random.position = 0;
    ASSERT_TRUE(run(kOneCube));
    EXPECT_EQ(files.files.at("/os/maison.xml"), withLf);
}

TEST_F(ConversionRun, OutputFailuresNameThePathAndLeaveEarlierFilesAlone)
{
    struct Row {
        const char *refuse, *failCommit, *failedPath;
    };
    for (const auto& [refuse, failCommit, failedPath] :
         {Row{"", "", "/nowhere"}, Row{"/os/maison.xml", "", "/os/maison.xml"},
          Row{"/os/maison.xml_SLbase.txt", "", "/os/maison.xml_SLbase.txt"},
          Row{"", "/os/maison.xml_SLbase.txt", "/os/maison.xml_SLbase.txt"},
          Row{"", "/os/maison.xml", "/os/maison.xml"}}) {
        addEarlierFiles();
        files.refuseCreate = {refuse};
        files.failCommit = {failCommit};
        request.outputFolder = std::string(failedPath) == "/nowhere" ? "/nowhere" : "/os";
        const auto report = run(kOneCube);
        EXPECT_EQ(errorOf(report), ConversionError::OutputFailed);
        EXPECT_EQ(failureOf(report).path, failedPath);
        EXPECT_NE(failureOf(report).reason, "");
        // The scene file was already in place when its copy failed: the earlier one is back.
        expectUnchanged();
    }
    // Without an earlier copy, the new one goes when its scene file does not arrive.
    files.files.erase("/os/maison.xml_SLbase.txt");
    before = files.files;
    EXPECT_EQ(errorOf(run(kOneCube)), ConversionError::OutputFailed);
    expectUnchanged();

    // A scene path that is a folder: the earlier copy stays as it was.
    files.failCommit.clear();
    files.files["/os/maison.xml_SLbase.txt"] = "old copy";
    files.addFolder("/os/maison.xml");
    before = files.files;
    const auto folder = run(kOneCube);
    EXPECT_EQ(errorOf(folder), ConversionError::OutputFailed);
    EXPECT_EQ(failureOf(folder).path, "/os/maison.xml");
    expectUnchanged();
}

TEST_F(ConversionRun, NamesThatLeaveTheFolderAreRefused)
{
    for (const char* name : {"../escape", "a/b", "a\\b", ".", ".."}) {
        request.outputName = name;
        const auto report = run(kOneCube);
        EXPECT_EQ(errorOf(report), ConversionError::OutputFailed) << name;
        EXPECT_EQ(report.scenePath, "") << name;
        EXPECT_TRUE(files.files.empty()) << name;
        EXPECT_EQ(report.remainingListing, kOneCube);
    }
    request.outputName = "..maison";  // dots inside a name are fine
    EXPECT_TRUE(run(kOneCube));
}

TEST_F(ConversionRun, ExampleHouseMatchesTheCheckedInSceneFile)
{
    request.outputName = "house";
    const auto report = run(readFile(std::filesystem::path(VANTOR_SOURCE_DIR) / "examples" / "house.txt"));
    ASSERT_TRUE(report);
    EXPECT_EQ(report.primCount, 16);
    EXPECT_EQ(files.files.at("/os/house.xml"), readFile(std::filesystem::path(VANTOR_TEST_DATA_DIR) / "house.xml"));
}

TEST_F(ConversionRun, ManyRecordsArriveInOrderAndFailuresAmongThemLeaveNothing)
{
    ASSERT_TRUE(run(crlf(manyRecords(700))));
    const auto scene = sceneLines(files.files.at("/os/maison.xml"));
    ASSERT_EQ(scene.size(), 704u);
    for (std::size_t i = 0; i < 700; ++i) {
        ASSERT_EQ(element(scene[i + 2], "Name"), "Prim " + std::to_string(i));
        ASSERT_EQ(element(scene[i + 2], "LocalID"), std::to_string(720002 + i));
        ASSERT_EQ(log.reports[i].recordsDone, i + 1);
    }
    // A record that does not parse (the counter not taken) or holds a bad number (taken),
    // after hundreds of documents were written.
    addEarlierFiles();
    for (const auto& [failing, parseFails, counter] : std::vector<std::tuple<std::size_t, bool, std::string>>{
             {300, false, "720302"}, {256, false, "720258"}, {519, true, "720520"}}) {
        log.reports.clear();
        auto lines = manyRecords(700);
        const std::size_t at = 1 + 2 * failing;
        lines[at] = parseFails ? "[9:05]  Broken 1, 2, 3, 4, 5, 6, 7, " : lineA("Bad", "12x");
        const auto report = run(crlf(lines));
        EXPECT_EQ(errorOf(report), ConversionError::RecordNotConverted);
        EXPECT_EQ(failureOf(report).recordText, "\n" + lines[at] + kLineB + "\r");
        const std::vector<std::string> rest(lines.begin() + static_cast<std::ptrdiff_t>(at + 2), lines.end());
        EXPECT_EQ(report.remainingListing, "\n" + crlf(rest) + "\r\n");
        EXPECT_EQ(report.localIdCounter, counter);
        EXPECT_EQ(report.primCount, static_cast<int>(failing));
        EXPECT_EQ(log.reports.size(), failing);
        expectUnchanged();
    }
    // A progress callback that throws between records: both files are dropped.
    log.throwAt = 600;
    request.listingText = crlf(manyRecords(1000));
    request.progress = log.callback();
    EXPECT_THROW((void)runConversion(request, files, random), std::runtime_error);
    EXPECT_EQ(files.openOutputs, 0);
    expectUnchanged();
}

TEST_F(ConversionRun, AStoppedRunWritesNothingAndKeepsTheListingAndCounter)
{
    const std::string listing = crlf(manyRecords(700));
    struct Row {
        const char* name;
        std::size_t stopAt;  // the progress report that asks to stop
    };
    for (const Row& row : {Row{"at the first record", 1}, Row{"among the records, past a batch", 300},
                           Row{"when both files are complete", 701}}) {
        SCOPED_TRACE(row.name);
        addEarlierFiles();
        log = ProgressLog{};
        log.stopAt = row.stopAt;
        const auto report = run(listing);
        EXPECT_EQ(errorOf(report), ConversionError::Stopped);
        EXPECT_FALSE(report);
        EXPECT_EQ(log.reports.size(), row.stopAt);
        EXPECT_EQ(report.remainingListing, listing);
        EXPECT_EQ(report.localIdCounter, "720001");
        EXPECT_EQ(report.primCount, 0);
        expectUnchanged();
    }
}

}  // namespace
