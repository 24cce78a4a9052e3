#include "commands.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace vantor::cli {

void addExtractCommand(CLI::App& app, CommandContext& context)
{
    auto* command = app.add_subcommand("extract", "not built yet");
    command->callback([&context] {
        context.err << "vantor-cli extract: not built yet\n";
        context.result = ExitCode::Failed;
    });
}

}  // namespace vantor::cli
