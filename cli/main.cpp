#include "cli.h"

#include "platform/std_platform.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    // A command reads, writes and exits: large inputs are mapped rather than copied.
    vantor::platform::StdFileSystem files(vantor::platform::LargeFileReading::Map);
    vantor::platform::StdRandomSource random;
    vantor::platform::StdClock clock;
    const vantor::cli::Services services{files, random, clock};
    return static_cast<int>(vantor::cli::runCli(args, std::cout, std::cerr, services));
}
