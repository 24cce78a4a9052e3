// Tests of vantor-cli regions.
#include "cli_fixture.h"

namespace vantor::cli {
namespace {

constexpr const char* kOldRegion = "<Root>\r\n<Config external_host_name=\"10.0.0.5\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";

class RegionsCommand : public test::CliFixture {
protected:
    RegionsCommand()
    {
        files.files["/os/Regions/a.xml"] = kOldRegion;
        files.files["/os/Regions/b.ini"] = "[Home]\nExternalHostName = SYSTEMIP\n";
        files.files["/os/Regions/readme.txt"] = "notes\n";
    }
};

TEST_F(RegionsCommand, PrintsOneLinePerFile)
{
    ASSERT_EQ(run({"regions", "/os/", "--host", "grid.example.org"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(out.str(), "a.xml: rewritten\nb.ini: rewritten\nreadme.txt: skipped: no host line "
                         "(external_host_name= ... master_avatar_uuid on line 2, or ExternalHostName)\n");
    EXPECT_EQ(files.files.at("/os/Regions/b.ini"), "[Home]\nExternalHostName = grid.example.org\n");
    ASSERT_EQ(run({"regions", "/os", "--local"}), ExitCode::Ok) << err.str();
    ASSERT_EQ(run({"regions", "/os", "--local"}), ExitCode::Ok) << err.str();
    EXPECT_EQ(out.str().rfind("a.xml: unchanged\nb.ini: unchanged\n", 0), 0U) << out.str();
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"),
              "<Root>\r\n<Config external_host_name=\"127.0.0.1\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n");
    files.addFolder("/empty/Regions");
    EXPECT_EQ(run({"regions", "/empty", "--local"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "");
}

TEST_F(RegionsCommand, AFileThatCannotBeWrittenExitsWithOne)
{
    files.readOnly.insert("/os/Regions/a.xml");
    EXPECT_EQ(run({"regions", "/os", "--local"}), ExitCode::Failed);
    EXPECT_EQ(out.str().rfind("a.xml: skipped: cannot be written (read-only)\n", 0), 0U) << out.str();
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), kOldRegion);
    EXPECT_EQ(files.files.at("/os/Regions/b.ini"), "[Home]\nExternalHostName = 127.0.0.1\n");
}

TEST_F(RegionsCommand, UsageErrorsChangeNoFile)
{
    const auto before = files.files;
    const std::vector<std::vector<std::string_view>> usage = {
        {"regions", "/os", "--host", "a\" b"},
        {"regions", "/os"},
        {"regions", "/os", "--local", "--host", "1.2.3.4"},
        {"regions", "--local"},
        {"regions", "/nowhere", "--local"},
    };
    for (const auto& args : usage) {
        EXPECT_EQ(run(args), ExitCode::Usage) << args.size() << " " << args.back();
        EXPECT_FALSE(err.str().empty());
        EXPECT_TRUE(out.str().empty());
    }
    EXPECT_EQ(files.files, before);
}

}  // namespace
}  // namespace vantor::cli
