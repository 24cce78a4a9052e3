#include "cli/cli.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string_view>
#include <vector>

using vantor::cli::ExitCode;

namespace {

TEST(Cli, UsageErrorsExitWithTwo)
{
    vantor::test::FakeFileSystem files;
    vantor::test::FakeRandom random;
    vantor::test::FakeClock clock;
    const vantor::cli::Services services{files, random, clock};
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{}, {"frobnicate"}, {"convert", "--no-such-option", "x.txt"}}) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(vantor::cli::runCli(args, out, err, services), ExitCode::Usage);
        EXPECT_FALSE(err.str().empty());
    }
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::string_view> help{"--help"};
    EXPECT_EQ(vantor::cli::runCli(help, out, err, services), ExitCode::Ok);
    EXPECT_NE(out.str().find("convert"), std::string::npos);
    EXPECT_NE(out.str().find("extract"), std::string::npos);
}

TEST(Cli, VersionNeedsNoCommandAndPrintsOneLine)
{
    vantor::test::FakeFileSystem files;
    vantor::test::FakeRandom random;
    vantor::test::FakeClock clock;
    const vantor::cli::Services services{files, random, clock};
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::string_view> args{"--version"};
    EXPECT_EQ(vantor::cli::runCli(args, out, err, services), ExitCode::Ok);
    EXPECT_EQ(out.str(), "vantor-cli " VANTOR_VERSION "\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(files.files.empty());
}

}  // namespace
