#pragma once

#include "cli/cli.h"
#include "testing/fake_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::test {

// Runs vantor-cli on fake services and keeps what it printed.
class CliFixture : public ::testing::Test {
protected:
    cli::ExitCode run(const std::vector<std::string_view>& args)
    {
        out.str({});
        err.str({});
        return cli::runCli(args, out, err, cli::Services{files, random, clock});
    }
    // Whether text holds part; a failure shows both.
    static ::testing::AssertionResult holds(const std::string& text, std::string_view part)
    {
        if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << text << "\" does not hold \"" << part << "\"";
    }

    FakeFileSystem files;
    FakeRandom random;
    FakeClock clock;
    std::ostringstream out, err;
};

}  // namespace vantor::test
