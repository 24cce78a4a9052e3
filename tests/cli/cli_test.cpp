#include "cli/cli.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string_view>
#include <vector>

using vantor::cli::ExitCode;

namespace {

class Cli : public ::testing::Test {
protected:
    ExitCode run(const std::vector<std::string_view>& args)
    {
        out.str({});
        err.str({});
        return vantor::cli::runCli(args, out, err, vantor::cli::Services{files, random, clock});
    }

    vantor::test::FakeFileSystem files;
    vantor::test::FakeRandom random;
    vantor::test::FakeClock clock;
    std::ostringstream out, err;
};

TEST_F(Cli, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{}, {"frobnicate"}, {"convert", "--no-such-option", "x.txt"}}) {
        EXPECT_EQ(run(args), ExitCode::Usage);
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_EQ(run({"--help"}), ExitCode::Ok);
    EXPECT_NE(out.str().find("convert"), std::string::npos);
    EXPECT_NE(out.str().find("extract"), std::string::npos);
}

TEST_F(Cli, VersionNeedsNoCommandAndPrintsOneLine)
{
    EXPECT_EQ(run({"--version"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "vantor-cli " VANTOR_VERSION "\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(files.files.empty());
}

}  // namespace
