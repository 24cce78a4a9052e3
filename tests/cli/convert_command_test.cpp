// Tests of vantor-cli convert.
#include "cli_fixture.h"
#include "convert/test_support.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

using vantor::cli::ExitCode;
using namespace vantor::test;

namespace {

class ConvertCommand : public CliFixture {
protected:
    void SetUp() override
    {
        for (const char* folder : {".", "/in", "/os"}) files.addFolder(folder);
        // Windows-1252 and lone line feeds: the listing is read as the main window loads one.
        files.files["/in/house.txt"] = kHeader + "\n" + lineA("Caf\xE9") + "\n" + kLineB + "\n" + lineA("Ball") + "\n" + kLineB;
    }

    ExitCode run(std::vector<std::string_view> args)
    {
        args.insert(args.begin(), "convert");
        return CliFixture::run(args);
    }
};

TEST_F(ConvertCommand, OptionsReachTheRun)
{
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "./house.xml\n2 prims written\n");
    std::string scene = files.files.at("./house.xml");
    EXPECT_EQ(element(scene, "LocalID") + " " + element(scene, "Name"), "720002 Café");
    EXPECT_EQ(element(scene, "GroupPosition"), "<X>153.5</X><Y>155.25</Y><Z>17</Z>");
    EXPECT_EQ(files.files.at("./house.xml_SLbase.txt"), crlf({kHeader, lineA("Café"), kLineB, lineA("Ball"), kLineB, ""}));

    EXPECT_EQ(run({"/in/house.txt", "--out-dir", "/os", "--name", "villa", "--rez", "100,100,30", "--owner",
                   "11111111-2222-3333-4444-555555555555", "--local-id", "9"}),
              ExitCode::Ok);
    EXPECT_EQ(out.str(), "/os/villa.xml\n2 prims written\n");
    scene = files.files.at("/os/villa.xml");
    EXPECT_EQ(element(scene, "LocalID"), "10");
    EXPECT_EQ(element(scene, "CreatorID"), "<UUID>11111111-2222-3333-4444-555555555555</UUID>");
    EXPECT_EQ(element(scene, "GroupPosition"), "<X>128.5</X><Y>130.25</Y><Z>22</Z>");
}

TEST_F(ConvertCommand, OutputOptionsChooseWhatIsWritten)
{
    // Both records begin an object (field 0 is 1): linked, they stay two objects.
    EXPECT_EQ(run({"/in/house.txt", "--out-dir", "/os", "--link", "--format", "oar"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "/os/house.oar\n2 prims written as 2 objects\n");
    EXPECT_EQ(files.files.at("/os/house.oar").substr(0, 2), "\x1F\x8B");
    EXPECT_EQ(files.files.at("/os/house.oar_SLbase.txt").substr(0, kHeader.size() + 2), kHeader + "\r\n");
    EXPECT_FALSE(files.exists("/os/house.xml"));
    // An archive of that name needs --force as a scene file does.
    EXPECT_EQ(run({"/in/house.txt", "--out-dir", "/os", "--format", "oar"}), ExitCode::Usage);
    EXPECT_EQ(run({"/in/house.txt", "--format", "zip"}), ExitCode::Usage);

    files.files["/in/gate.txt"] = crlf(
        {kHeader, lineA("Gate"), kLineB, "[9:05]  Post: 2, <128.5, 131.25, 22>, <0, 0, 0, 1>, <0.5, 0.5, 0.5>, ", kLineB});
    EXPECT_EQ(run({"/in/gate.txt", "--link"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "./gate.xml\n2 prims written as 1 object\n");
    EXPECT_TRUE(holds(files.files.at("./gate.xml"), "<LinkNum>2</LinkNum>"));
}

TEST_F(ConvertCommand, DefaultNameIsTheListingNameWithoutTxt)
{
    for (const auto& [listing, scene] : std::vector<std::pair<std::string, std::string>>{
             {"/in/prims.TXT", "/os/prims.xml"}, {"/in/PRIMS.Txt", "/os/PRIMS.Txt.xml"},
             {"/in/a.txt.b.txt", "/os/a.b.xml"}, {"/in/plain", "/os/plain.xml"}}) {
        files.files[listing] = files.files.at("/in/house.txt");
        EXPECT_EQ(run({listing, "--out-dir", "/os"}), ExitCode::Ok);
        EXPECT_EQ(out.str(), scene + "\n2 prims written\n");
    }
}

// A copy alone is replaced; a scene file only with --force. Without it, a scene file that
// another program makes during the run stays, and nothing of the run is written.
TEST_F(ConvertCommand, AnExistingSceneFileIsReplacedOnlyWithForce)
{
    files.files["./house.xml_SLbase.txt"] = "earlier copy";
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Ok);
    EXPECT_EQ(files.files.at("./house.xml_SLbase.txt").substr(0, kHeader.size() + 2), kHeader + "\r\n");
    files.files["./house.xml"] = "earlier scene";
    EXPECT_EQ(run({"/in/house.txt", "--force"}), ExitCode::Ok);
    EXPECT_EQ(files.files.at("./house.xml").substr(0, 9), "<scene>\r\n");

    files.files.erase("./house.xml");
    files.files["./house.xml_SLbase.txt"] = "earlier copy";
    files.appearMeanwhile["./house.xml"] = "another run's";
    auto before = files.files;
    before["./house.xml"] = "another run's";
    EXPECT_EQ(run({"/in/house.txt"}), ExitCode::Usage);
    EXPECT_TRUE(holds(err.str(), "./house.xml was created by another program during the run"));
    EXPECT_EQ(files.files, before);
}

TEST_F(ConvertCommand, EachOutcomeHasItsExitCode)
{
    files.files["/in/odd.txt"] = crlf({kHeader, lineA("Cube"), kLineB, lineA("Odd", "x1"), kLineB});
    files.files["/in/short.txt"] = crlf({kHeader, lineA("Cube"), kLineB, "a", "b"});
    files.files["/in/g.txt"] = crlf({kHeader, "[9:05]  S: 1,<1,2,3>,<0,0,0,", "1>,<1,1,1>, " + kLineB, lineA("C"), kLineB});
    files.files["/in/locked.txt"] = files.files["/in/old.txt"] = files.files["./old.xml"] = "x";
    files.unreadable.insert("/in/locked.txt");
    files.others.insert("/dev/zero");
    files.files["/in/empty.txt"] = " \r\n\r\n";
    // A one-line record of 100,000 characters: its message shows the first 300.
    files.files["/in/huge.txt"] = crlf({kHeader, "[9:05]  Huge: " + std::string(100000, '7'), kLineB});
    struct Row {
        std::vector<std::string_view> args;
        ExitCode code;
        std::string message;  // a part of what stderr says
        std::string output = "";
    };
    for (const auto& [args, code, message, output] : std::vector<Row>{
             {{"/in/g.txt"}, ExitCode::Ok, "not converted", "./g.xml\n1 prim written\n"},  // a guard stop
             {{"/in/odd.txt"}, ExitCode::Failed, "[9:05]  Odd: 1, <x1, 130.25"},
             {{"/in/short.txt"}, ExitCode::Failed, "too short"},
             {{"/in/house.txt", "--out-dir", "/nowhere"}, ExitCode::Failed, "/nowhere"},
             {{"/in/old.txt"}, ExitCode::Usage, "--force"},  // the scene file exists
             {{"/in/missing.txt"}, ExitCode::Usage, "missing.txt"},
             {{"/in/locked.txt"}, ExitCode::Usage, "locked.txt"},
             {{"/dev/zero"}, ExitCode::Usage, "/dev/zero is not a regular file"},  // read without end
             {{"/in/house.txt", "--name", "../escape"}, ExitCode::Usage, "would leave the output folder"},
             {{"/in/house.txt", "--rez", "1,b,3"}, ExitCode::Usage, "rez"},
             // OpenSim would read either as the nil UUID: objects without an owner.
             {{"/in/house.txt", "--owner", "Test User"}, ExitCode::Usage, "--owner takes a UUID of 8-4-4-4-12"},
             {{"/in/house.txt", "--local-id", "99999999999999999999"}, ExitCode::Usage,
              "--local-id takes a whole number from 0 to 4294967295 (a LocalID), such as 720001, not \"99999999999999999999\""},
             {{"/in/house.txt", "--local-id", "4294967294"}, ExitCode::Failed, "LocalID counter would pass 4294967295"},
             {{"/in/empty.txt"}, ExitCode::Failed, "/in/empty.txt holds no prims; no file was written"},
             {{"/in/huge.txt"}, ExitCode::Failed, "[9:05]  Huge: " + std::string(286, '7') + "\u2026\n"},
             {{}, ExitCode::Usage, "LISTING"}}) {
        SCOPED_TRACE(args.empty() ? "no listing" : args.back());
        const auto before = files.files;
        EXPECT_EQ(run(args), code);
        EXPECT_TRUE(holds(err.str(), message));
        EXPECT_LT(err.str().size(), 1000U);
        EXPECT_EQ(out.str(), output);
        if (code != ExitCode::Ok) {
            EXPECT_EQ(files.files, before);  // no file left behind
        }
    }
}

}  // namespace
