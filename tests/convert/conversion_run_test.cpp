#include "convert/conversion_run.h"

#include "fakes/fake_platform.h"
#include "platform/std_platform.h"
#include "xml_check.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using vantor::convert::ConversionOutcome;
using vantor::convert::ConversionProgress;
using vantor::convert::ConversionReport;
using vantor::convert::ConversionRequest;

namespace {

const std::string kHeader = "[9:05]  Rezzer: <100, 100, 30>";
const std::string kOldScene = "scene of an earlier run";

std::string lineA(const std::string& name, const std::string& x = "128.5")
{
    return "[9:05]  " + name + ": 1, <" + x + ", 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ";
}

const std::string kLineB = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

std::string crlf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

class ScriptedHost final : public vantor::convert::ConversionHost {
public:
    std::string answer = "maison";
    bool overwrite = true;
    std::vector<std::string> proposals;
    std::vector<std::string> overwriteQuestions;
    std::vector<ConversionProgress> progress;

    std::string askOutputName(const std::string& proposed) override
    {
        proposals.push_back(proposed);
        return answer;
    }
    bool confirmOverwrite(const std::string& path) override
    {
        overwriteQuestions.push_back(path);
        return overwrite;
    }
    void recordConverted(const ConversionProgress& p) override { progress.push_back(p); }
};

std::vector<std::string> sceneLines(const std::string& scene)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (auto end = scene.find("\r\n"); end != std::string::npos; end = scene.find("\r\n", begin)) {
        lines.push_back(scene.substr(begin, end - begin));
        begin = end + 2;
    }
    EXPECT_EQ(begin, scene.size()) << "text after the last CR LF";
    return lines;
}

std::string element(const std::string& document, const std::string& tag)
{
    const auto begin = document.find("<" + tag + ">");
    if (begin == std::string::npos) return "(missing)";
    const auto end = document.find("</" + tag + ">", begin);
    return document.substr(begin + tag.size() + 2, end - begin - tag.size() - 2);
}

class ConversionRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        files.addFolder("/os");
        request.rezX = "125";
        request.rezY = "125";
        request.rezZ = "25";
        request.ownerUuid = "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13";
        request.localIdCounter = "720001";
        request.outputFolder = "/os";
        request.listingName = "défaut";
    }

    ConversionReport run(const std::string& listing)
    {
        request.listingText = listing;
        auto report = vantor::convert::runConversion(request, host, files, random);
        EXPECT_EQ(files.openOutputs, 0);
        // Every scene file a run leaves behind must be well-formed XML.
        for (const auto& [path, content] : files.files) {
            if (path.ends_with(".xml") && content != kOldScene) {
                EXPECT_EQ(vantor::test::xmlProblem(content), "") << path;
            }
        }
        return report;
    }

    void expectNoNewFiles(const std::map<std::string, std::string>& before) { EXPECT_EQ(files.files, before); }

    vantor::test::FakeFileSystem files;
    vantor::test::FakeRandom random;
    ScriptedHost host;
    ConversionRequest request;
};

TEST_F(ConversionRun, WritesSceneFileAndListingCopy)
{
    const std::string listing = crlf({kHeader, lineA("Cube"), kLineB, lineA("Fish & <Chips>"), kLineB});
    const auto report = run(listing);
    EXPECT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(host.proposals, std::vector<std::string>{"défaut"});
    EXPECT_TRUE(host.overwriteQuestions.empty());
    EXPECT_EQ(report.listingName, "maison.xml");
    EXPECT_EQ(report.scenePath, "/os/maison.xml");
    EXPECT_EQ(report.listingCopyPath, "/os/maison.xml_SLbase.txt");
    EXPECT_EQ(report.primCount, 2);
    EXPECT_EQ(report.localIdCounter, "720003");
    EXPECT_EQ(report.remainingListing, "");
    EXPECT_EQ(files.files.at("/os/maison.xml_SLbase.txt"), listing + "\r\n");

    const auto lines = sceneLines(files.files.at("/os/maison.xml"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "<scene>");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(element(lines[2], "LocalID"), "720002");
    EXPECT_EQ(element(lines[3], "LocalID"), "720003");
    EXPECT_EQ(element(lines[2], "GroupPosition"), "<X>153.5</X><Y>155.25</Y><Z>17</Z>");
    EXPECT_EQ(element(lines[3], "Name"), "Fish &amp; &lt;Chips&gt;");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "</scene>");
    EXPECT_EQ(host.progress.size(), 2u);
    EXPECT_EQ(host.progress.back().recordsDone, 2u);
    EXPECT_LE(host.progress.front().bytesConsumed, host.progress.back().bytesConsumed);
    EXPECT_EQ(host.progress.back().bytesTotal, listing.size() + 2);
}

TEST_F(ConversionRun, NextRunContinuesCounterAndProposesTheLastName)
{
    const std::string listing = crlf({kHeader, lineA("Cube"), kLineB});
    const auto first = run(listing);
    request.localIdCounter = first.localIdCounter;
    request.listingName = first.listingName;
    host.answer = first.listingName;
    const auto second = run(listing);
    EXPECT_EQ(host.proposals.back(), "maison.xml");
    EXPECT_EQ(second.listingName, "maison.xml.xml");
    EXPECT_EQ(element(sceneLines(files.files.at("/os/maison.xml.xml"))[2], "LocalID"), "720003");
    EXPECT_EQ(second.localIdCounter, "720003");
}

TEST_F(ConversionRun, CancelledNameWritesNothing)
{
    host.answer = "";
    const std::string listing = crlf({kHeader, lineA("Cube"), kLineB});
    const auto report = run(listing);
    EXPECT_EQ(report.outcome, ConversionOutcome::Cancelled);
    EXPECT_EQ(report.listingName, ".xml");
    EXPECT_EQ(report.remainingListing, listing);
    EXPECT_EQ(report.localIdCounter, "720001");
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ConversionRun, DeclinedOverwriteKeepsEarlierFiles)
{
    files.files["/os/maison.xml"] = kOldScene;
    files.files["/os/maison.xml_SLbase.txt"] = "old copy";
    const auto before = files.files;
    host.overwrite = false;
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::Cancelled);
    EXPECT_EQ(host.overwriteQuestions, std::vector<std::string>{"/os/maison.xml"});
    expectNoNewFiles(before);
}

TEST_F(ConversionRun, ConversionErrorShowsTheRecordAndKeepsTheRest)
{
    files.files["/os/maison.xml"] = kOldScene;  // the user agreed to replace it
    const auto before = files.files;
    const std::string bad = lineA("Bad", "12x");
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB, bad, kLineB, lineA("Rest"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::ConversionError);
    EXPECT_EQ(report.failingRecordText, "\n" + bad + kLineB + "\r");
    EXPECT_EQ(report.remainingListing, "\n" + crlf({lineA("Rest"), kLineB, ""}));
    EXPECT_EQ(report.localIdCounter, "720003");  // the counter keeps what the run took
    expectNoNewFiles(before);
}

TEST_F(ConversionRun, HeaderErrorShowsTheHeaderLine)
{
    const auto report = run(crlf({"[9:05]  Rezzer: 100, 100, 30", lineA("Cube"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::ConversionError);
    EXPECT_EQ(report.failingRecordText, "[9:05]  Rezzer: 100, 100, 30\r");
    EXPECT_EQ(report.remainingListing, "\n" + crlf({lineA("Cube"), kLineB, ""}));
    EXPECT_TRUE(files.files.empty());
}

struct CounterCase {
    const char* counter;
    const char* firstLocalId;  // empty: the counter does not convert
};

class LocalIdCounter : public ConversionRun, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(LocalIdCounter, RoundsHalfToEvenThenCounts)
{
    request.localIdCounter = GetParam().counter;
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB}));
    if (std::string(GetParam().firstLocalId).empty()) {
        EXPECT_EQ(report.outcome, ConversionOutcome::ConversionError);
        EXPECT_EQ(report.localIdCounter, GetParam().counter);
        EXPECT_TRUE(files.files.empty());
        return;
    }
    ASSERT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_EQ(element(sceneLines(files.files.at("/os/maison.xml"))[2], "LocalID"), GetParam().firstLocalId);
}

INSTANTIATE_TEST_SUITE_P(Counters, LocalIdCounter, ::testing::Values(
    CounterCase{"720001.5", "720003"}, CounterCase{"720002.5", "720003"}, CounterCase{" 7 ", "8"},
    CounterCase{"2147483646", "2147483647"}, CounterCase{"2147483647", ""}, CounterCase{"abc", ""}));

TEST_F(ConversionRun, ShortRecordAfterTheLastLeavesNothing)
{
    files.files["/os/maison.xml_SLbase.txt"] = "old copy";
    const auto before = files.files;
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB, "x", "y"}));
    EXPECT_EQ(report.outcome, ConversionOutcome::RecordTooShort);
    EXPECT_EQ(report.remainingListing, "\nx\r\ny\r\n\r\n");
    expectNoNewFiles(before);
}

TEST_F(ConversionRun, EmptyLinesAfterTheLastRecordStillSucceed)
{
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB, "", " ", ""}));
    EXPECT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_EQ(report.primCount, 1);
    EXPECT_EQ(files.files.count("/os/maison.xml"), 1u);
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 1u);
}

TEST_F(ConversionRun, GuardStopKeepsAClosedSceneAndTheRest)
{
    const std::string stopA = "[9:05]  S: 1,<1,2,3>,<0,0,0,";  // 28 characters: the guard becomes 30
    ASSERT_EQ(stopA.size(), 28u);
    const auto report =
        run(crlf({kHeader, lineA("Cube"), kLineB, stopA, "1>,<1,1,1>, " + kLineB, lineA("Last"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::GuardStop);
    EXPECT_TRUE(report.succeeded());
    EXPECT_EQ(report.primCount, 2);
    EXPECT_EQ(report.remainingListing, "\n" + crlf({lineA("Last"), kLineB, ""}));
    const auto lines = sceneLines(files.files.at("/os/maison.xml"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(element(lines[3], "Name"), "S");
    EXPECT_EQ(lines.back(), "</scene>");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 1u);
}

TEST_F(ConversionRun, LoneLineFeedsEndLinesToo)
{
    const std::string lf = kHeader + "\n" + lineA("Cube") + "\n" + kLineB + "\n";
    const auto report = run(lf);
    ASSERT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_EQ(report.primCount, 1);
    const std::string withLf = files.files.at("/os/maison.xml");
    EXPECT_EQ(files.files.at("/os/maison.xml_SLbase.txt"), crlf({kHeader, lineA("Cube"), kLineB, ""}));

    random.position = 0;
    const auto again = run(crlf({kHeader, lineA("Cube"), kLineB}));
    ASSERT_EQ(again.outcome, ConversionOutcome::Done);
    EXPECT_EQ(files.files.at("/os/maison.xml"), withLf);
}

TEST_F(ConversionRun, MissingFolderIsReportedWithoutQuestions)
{
    request.outputFolder = "/nowhere";
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::OutputFailed);
    EXPECT_EQ(report.failedPath, "/nowhere");
    EXPECT_FALSE(report.failureReason.empty());
    EXPECT_TRUE(host.overwriteQuestions.empty());
    EXPECT_TRUE(files.files.empty());
}

struct OutputFailureCase {
    const char* name;
    bool refuseScene, refuseCopy, failSceneCommit, failCopyCommit;
    const char* failedPath;
};

class OutputFailure : public ConversionRun, public ::testing::WithParamInterface<OutputFailureCase> {};

TEST_P(OutputFailure, LeavesEarlierFilesAlone)
{
    files.files["/os/maison.xml"] = kOldScene;
    files.files["/os/maison.xml_SLbase.txt"] = "old copy";
    const auto before = files.files;
    const auto& c = GetParam();
    if (c.refuseScene) files.refuseCreate.insert("/os/maison.xml");
    if (c.refuseCopy) files.refuseCreate.insert("/os/maison.xml_SLbase.txt");
    if (c.failSceneCommit) files.failCommit.insert("/os/maison.xml");
    if (c.failCopyCommit) files.failCommit.insert("/os/maison.xml_SLbase.txt");
    const auto report = run(crlf({kHeader, lineA("Cube"), kLineB}));
    EXPECT_EQ(report.outcome, ConversionOutcome::OutputFailed);
    EXPECT_EQ(report.failedPath, c.failedPath);
    EXPECT_FALSE(report.failureReason.empty());
    if (c.failSceneCommit) {
        // The copy was already in place; it goes, since its scene file did not arrive.
        EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 0u);
        EXPECT_EQ(files.files.at("/os/maison.xml"), kOldScene);
    } else {
        expectNoNewFiles(before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OutputFailure,
    ::testing::Values(OutputFailureCase{"scene_not_creatable", true, false, false, false, "/os/maison.xml"},
                      OutputFailureCase{"copy_not_creatable", false, true, false, false, "/os/maison.xml_SLbase.txt"},
                      OutputFailureCase{"copy_not_written", false, false, false, true, "/os/maison.xml_SLbase.txt"},
                      OutputFailureCase{"scene_not_written", false, false, true, false, "/os/maison.xml"}),
    [](const auto& row) { return std::string(row.param.name); });

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST_F(ConversionRun, ExampleHouseMatchesTheCheckedInSceneFile)
{
    const std::string listing = readFile(std::filesystem::path(VANTOR_SOURCE_DIR) / "examples" / "house.txt");
    ASSERT_FALSE(listing.empty());
    host.answer = "house";
    const auto report = run(listing);
    ASSERT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_EQ(report.primCount, 16);
    const std::string expected = readFile(std::filesystem::path(VANTOR_TEST_DATA_DIR) / "house.xml");
    EXPECT_EQ(files.files.at("/os/house.xml"), expected);
}

TEST(ConversionRunOnDisk, FailedRunsLeaveTheFolderAsTheyFoundIt)
{
    const auto folder = std::filesystem::temp_directory_path() / ("vantor-run-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    vantor::platform::StdFileSystem files;
    vantor::test::FakeRandom random;
    ScriptedHost host;
    ConversionRequest request{crlf({kHeader, lineA("Cube"), kLineB}), "125", "125", "25", "owner", "720001",
                              folder.string(), "x"};
    ASSERT_EQ(vantor::convert::runConversion(request, host, files, random).outcome, ConversionOutcome::Done);
    const std::string scene = readFile(folder / "maison.xml");
    const std::string copy = readFile(folder / "maison.xml_SLbase.txt");
    EXPECT_EQ(sceneLines(scene).size(), 5u);

    for (const auto& listing : {crlf({kHeader, lineA("Bad", "x"), kLineB}),
                                crlf({kHeader, lineA("C"), kLineB, "a", "b"}), crlf({"no header", lineA("C"), kLineB})}) {
        request.listingText = listing;
        EXPECT_FALSE(vantor::convert::runConversion(request, host, files, random).succeeded());
        EXPECT_EQ(readFile(folder / "maison.xml"), scene);
        EXPECT_EQ(readFile(folder / "maison.xml_SLbase.txt"), copy);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"maison.xml", "maison.xml_SLbase.txt"}));
    }
    std::filesystem::remove_all(folder);
}

// Listings long enough to fill several of the writer's batches: record i is named Prim i.
std::vector<std::string> manyRecords(std::size_t count)
{
    std::vector<std::string> lines = {kHeader};
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(lineA("Prim " + std::to_string(i), std::to_string(100 + i) + ".5"));
        lines.push_back(kLineB);
    }
    return lines;
}

struct MidRunFailureCase {
    const char* name;
    std::size_t failing;        // the record that fails
    bool parseFails;            // no ": " (the counter is not taken) or a bad number (it is)
    const char* localIdCounter; // the counter after the run
};

class MidRunFailure : public ConversionRun, public ::testing::WithParamInterface<MidRunFailureCase> {};

TEST_P(MidRunFailure, ReportsAsAtTheFirstRecordAndWritesNothing)
{
    // Failures within a batch and at a batch's edge, while earlier batches are being written.
    files.files["/os/maison.xml"] = kOldScene;
    const auto before = files.files;
    auto lines = manyRecords(700);
    const std::size_t at = 1 + 2 * GetParam().failing;
    lines[at] = GetParam().parseFails ? "[9:05]  Broken 1, 2, 3, 4, 5, 6, 7, " : lineA("Bad", "12x");
    const auto report = run(crlf(lines));
    EXPECT_EQ(report.outcome, ConversionOutcome::ConversionError);
    EXPECT_EQ(report.failingRecordText, "\n" + lines[at] + kLineB + "\r");
    const std::vector<std::string> rest(lines.begin() + static_cast<std::ptrdiff_t>(at + 2), lines.end());
    EXPECT_EQ(report.remainingListing, "\n" + crlf(rest) + "\r\n");
    EXPECT_EQ(report.localIdCounter, GetParam().localIdCounter);
    EXPECT_EQ(report.primCount, static_cast<int>(GetParam().failing));
    EXPECT_EQ(host.progress.size(), GetParam().failing);
    expectNoNewFiles(before);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MidRunFailure,
    ::testing::Values(MidRunFailureCase{"middle_of_second_batch", 300, false, "720302"},
                      MidRunFailureCase{"parse_in_third_batch", 519, true, "720520"},
                      MidRunFailureCase{"first_of_second_batch", 256, false, "720258"},
                      MidRunFailureCase{"last_record", 699, true, "720700"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ConversionRun, AHostThatThrowsBetweenRecordsStopsTheWriterAndLeavesNothing)
{
    // The exception passes through the run; the writer's thread is stopped and joined on the
    // way, and both files are dropped.
    class ThrowingHost final : public vantor::convert::ConversionHost {
    public:
        std::string askOutputName(const std::string&) override { return "maison"; }
        bool confirmOverwrite(const std::string&) override { return true; }
        void recordConverted(const ConversionProgress& progress) override
        {
            if (progress.recordsDone == 600) throw std::runtime_error("window closed");
        }
    } throwing;
    request.listingText = crlf(manyRecords(1000));
    EXPECT_THROW((void)vantor::convert::runConversion(request, throwing, files, random), std::runtime_error);
    EXPECT_EQ(files.openOutputs, 0);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ConversionRun, ManyRecordsArriveInOrder)
{
    const auto lines = manyRecords(1000);
    const auto report = run(crlf(lines));
    ASSERT_EQ(report.outcome, ConversionOutcome::Done);
    EXPECT_EQ(report.primCount, 1000);
    EXPECT_EQ(report.localIdCounter, "721001");
    const auto scene = sceneLines(files.files.at("/os/maison.xml"));
    ASSERT_EQ(scene.size(), 1004u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(element(scene[i + 2], "Name"), "Prim " + std::to_string(i));
        ASSERT_EQ(element(scene[i + 2], "LocalID"), std::to_string(720002 + i));
    }
    ASSERT_EQ(host.progress.size(), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) EXPECT_EQ(host.progress[i].recordsDone, i + 1);
}

TEST(ConversionRunOnDisk, LargeRunWritesWhatTheInMemoryRunWrites)
{
    // The scene file goes to disk in large pieces while the listing is read: the bytes must
    // be those of the same run in memory, identifiers included (the same draws).
    const auto folder = std::filesystem::temp_directory_path() / ("vantor-large-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ConversionRequest request{crlf(manyRecords(3000)), "125", "125", "25", "owner & co", "720001", folder.string(),
                              "x"};
    vantor::platform::StdFileSystem disk;
    vantor::test::FakeRandom diskRandom;
    ScriptedHost diskHost;
    ASSERT_EQ(vantor::convert::runConversion(request, diskHost, disk, diskRandom).outcome, ConversionOutcome::Done);

    vantor::test::FakeFileSystem memory;
    memory.addFolder(folder.string());
    vantor::test::FakeRandom memoryRandom;
    ScriptedHost memoryHost;
    ASSERT_EQ(vantor::convert::runConversion(request, memoryHost, memory, memoryRandom).outcome,
              ConversionOutcome::Done);

    const std::string scene = readFile(folder / "maison.xml");
    EXPECT_GT(scene.size(), 3000u * 2000u);
    EXPECT_EQ(scene, memory.files.at((folder / "maison.xml").string()));
    EXPECT_EQ(readFile(folder / "maison.xml_SLbase.txt"), memory.files.at((folder / "maison.xml_SLbase.txt").string()));
    EXPECT_EQ(vantor::test::xmlProblem(scene), "");
    std::filesystem::remove_all(folder);
}

}  // namespace
