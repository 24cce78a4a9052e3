#include "cli_fixture.h"

using vantor::cli::ExitCode;

namespace {

using Cli = vantor::test::CliFixture;

TEST_F(Cli, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{}, {"frobnicate"}, {"convert", "--no-such-option", "x.txt"}}) {
        EXPECT_EQ(run(args), ExitCode::Usage);
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_EQ(run({"--help"}), ExitCode::Ok);
    EXPECT_TRUE(holds(out.str(), "convert"));
    EXPECT_TRUE(holds(out.str(), "extract"));
}

TEST_F(Cli, VersionNeedsNoCommand)
{
    EXPECT_EQ(run({"--version"}), ExitCode::Ok);
    EXPECT_EQ(out.str(), "vantor-cli " VANTOR_VERSION "\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(files.files.empty());
}

}  // namespace
