#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/random_source.h"

#include <iosfwd>
#include <span>
#include <string_view>

namespace vantor::cli {

enum class ExitCode : int { Ok = 0, Failed = 1, Usage = 2 };

// What the commands may touch of the world; the tests hand in fakes.
struct Services {
    platform::FileSystem& files;
    platform::RandomSource& random;
    platform::Clock& clock;
};

// Runs vantor-cli with its arguments (without the program name).
[[nodiscard]] ExitCode runCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
                              const Services& services);

}  // namespace vantor::cli
