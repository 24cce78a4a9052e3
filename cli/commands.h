#pragma once

#include "cli.h"

#include <iosfwd>

namespace CLI {
class App;
}

namespace vantor::cli {

// Where a command leaves its exit code and writes its output.
struct CommandContext {
    std::ostream& out;
    std::ostream& err;
    const Services& services;
    ExitCode result = ExitCode::Ok;
};

// Each command adds itself as a sub-command of app; its callback runs it and sets
// context.result.
void addConvertCommand(CLI::App& app, CommandContext& context);
void addExtractCommand(CLI::App& app, CommandContext& context);
void addRegionsCommand(CLI::App& app, CommandContext& context);

}  // namespace vantor::cli
