// Tests of vantor-cli convert.
#include "cli/cli.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using vantor::cli::ExitCode;

namespace {

const std::string kHeader = "[9:05]  Rezzer: <100, 100, 30>";
const std::string kLineB = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, 0";

std::string lineA(const std::string& name, const std::string& x = "128.5")
{
    return "[9:05]  " + name + ": 1, <" + x + ", 130.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ";
}

std::string crlf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

class ConvertCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        files.addFolder(".");
        files.addFolder("/in");
        files.addFolder("/os");
        files.files["/in/house.txt"] = crlf({kHeader, lineA("Cube"), kLineB, lineA("Ball"), kLineB});
    }

    ExitCode run(std::vector<std::string_view> args)
    {
        args.insert(args.begin(), "convert");
        out.str("");
        err.str("");
        const vantor::cli::Services services{files, random, clock};
        return vantor::cli::runCli(args, out, err, services);
    }

    vantor::test::FakeFileSystem files;
    vantor::test::FakeRandom random;
    vantor::test::FakeClock clock;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ConvertCommand, WritesSceneAndCopyWithDefaults)
{
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "./house.xml\n2 prims written\n");
    const std::string& scene = files.files.at("./house.xml");
    EXPECT_NE(scene.find("<LocalID>720002</LocalID>"), std::string::npos);
    EXPECT_NE(scene.find("<LocalID>720003</LocalID>"), std::string::npos);
    EXPECT_NE(scene.find("<OwnerID><UUID>3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13</UUID>"), std::string::npos);
    EXPECT_NE(scene.find("<GroupPosition><X>153.5</X><Y>155.25</Y><Z>17</Z>"), std::string::npos);
    EXPECT_EQ(files.files.at("./house.xml_SLbase.txt"), files.files.at("/in/house.txt") + "\r\n");
}

TEST_F(ConvertCommand, OptionsReachTheRun)
{
    EXPECT_EQ(run({"/in/house.txt", "--out-dir", "/os", "--name", "villa", "--rez", "100,100,30", "--owner",
                   "11111111-2222-3333-4444-555555555555", "--local-id", "9"}),
              ExitCode::Ok);
    EXPECT_EQ(out.str(), "/os/villa.xml\n2 prims written\n");
    const std::string& scene = files.files.at("/os/villa.xml");
    EXPECT_NE(scene.find("<LocalID>10</LocalID>"), std::string::npos);
    EXPECT_NE(scene.find("<CreatorID><UUID>11111111-2222-3333-4444-555555555555</UUID>"), std::string::npos);
    EXPECT_NE(scene.find("<GroupPosition><X>128.5</X><Y>130.25</Y><Z>22</Z>"), std::string::npos);
    EXPECT_EQ(files.files.count("/os/villa.xml_SLbase.txt"), 1u);
}

struct NameCase {
    const char* listing;
    const char* scene;
};

class DefaultName : public ConvertCommand, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DefaultName, DropsEveryTxtAndTXT)
{
    files.files[GetParam().listing] = files.files.at("/in/house.txt");
    EXPECT_EQ(run({GetParam().listing, "--out-dir", "/os"}), ExitCode::Ok);
    EXPECT_EQ(files.files.count(GetParam().scene), 1u) << out.str() << err.str();
}

INSTANTIATE_TEST_SUITE_P(Names, DefaultName, ::testing::Values(
    NameCase{"/in/prims.TXT", "/os/prims.xml"}, NameCase{"/in/PRIMS.Txt", "/os/PRIMS.Txt.xml"},
    NameCase{"/in/a.txt.b.txt", "/os/a.b.xml"}, NameCase{"/in/plain", "/os/plain.xml"}));

TEST_F(ConvertCommand, ExistingSceneNeedsForceButACopyIsReplaced)
{
    files.files["./house.xml_SLbase.txt"] = "earlier copy";
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Ok);
    EXPECT_EQ(files.files.at("./house.xml_SLbase.txt"), files.files.at("/in/house.txt") + "\r\n");

    files.files["./house.xml"] = "earlier scene";
    files.files["./house.xml_SLbase.txt"] = "earlier copy";
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Usage);
    EXPECT_NE(err.str().find("--force"), std::string::npos);
    EXPECT_EQ(files.files.at("./house.xml"), "earlier scene");
    EXPECT_EQ(files.files.at("./house.xml_SLbase.txt"), "earlier copy");

    EXPECT_EQ(run({"/in/house.txt", "--force"}), ExitCode::Ok);
    EXPECT_NE(files.files.at("./house.xml").find("<scene>"), std::string::npos);
}

struct FailureCase {
    const char* name;
    std::string listing;
    ExitCode code;
    const char* message;  // a part of what stderr says
};

class ConvertFailure : public ConvertCommand, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConvertFailure, ExitsWithItsCodeAndLeavesNoFile)
{
    files.files["/in/bad.txt"] = GetParam().listing;
    EXPECT_EQ(run({"/in/bad.txt"}), GetParam().code);
    EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(files.files.count("./bad.xml"), 0u);
    EXPECT_EQ(files.files.count("./bad.xml_SLbase.txt"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ConvertFailure,
    ::testing::Values(
        FailureCase{"bad_number", crlf({kHeader, lineA("Cube"), kLineB, lineA("Odd", "x1"), kLineB}),
                    ExitCode::Failed, "[9:05]  Odd: 1, <x1, 130.25"},
        FailureCase{"too_short", crlf({kHeader, lineA("Cube"), kLineB, "a", "b"}), ExitCode::Failed, "too short"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ConvertCommand, UsageErrorsExitWithTwo)
{
    files.unreadable.insert("/in/locked.txt");
    files.files["/in/locked.txt"] = "x";
    const std::vector<std::vector<std::string_view>> cases = {
        {"/in/missing.txt"},
        {"/in/locked.txt"},
        {"/in/house.txt", "--rez", "1,2"},
        {"/in/house.txt", "--rez", "1,b,3"},
        {"/in/house.txt", "--local-id", "many"},
        {},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(run(args), ExitCode::Usage) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_EQ(files.files.count("./house.xml"), 0u);
}

TEST_F(ConvertCommand, MissingOutputFolderFails)
{
    EXPECT_EQ(run({"/in/house.txt", "--out-dir", "/nowhere"}), ExitCode::Failed);
    EXPECT_NE(err.str().find("/nowhere"), std::string::npos);
}

TEST_F(ConvertCommand, ReadsLinuxLineEndsAndOldCodePage)
{
    // "Caf\xE9" is Windows-1252; lines end in LF alone.
    files.files["/in/lf.txt"] = kHeader + "\n" + lineA("Caf\xE9") + "\n" + kLineB;
    EXPECT_EQ(run({"/in/lf.txt"}), ExitCode::Ok);
    EXPECT_NE(files.files.at("./lf.xml").find("<Name>Café</Name>"), std::string::npos);
    EXPECT_EQ(files.files.at("./lf.xml_SLbase.txt"), crlf({kHeader, lineA("Café"), kLineB, ""}));
}

TEST_F(ConvertCommand, GuardStopStillSucceeds)
{
    files.files["/in/g.txt"] =
        crlf({kHeader, "[9:05]  S: 1,<1,2,3>,<0,0,0,", "1>,<1,1,1>, " + kLineB, lineA("Cube"), kLineB});
    EXPECT_EQ(run({"/in/g.txt"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "./g.xml\n1 prim written\n");
    EXPECT_NE(err.str().find("not converted"), std::string::npos);
}

}  // namespace
