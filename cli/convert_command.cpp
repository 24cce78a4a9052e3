#include "commands.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace vantor::cli {

void addConvertCommand(CLI::App& app, CommandContext& context)
{
    auto* command = app.add_subcommand("convert", "not built yet");
    command->callback([&context] {
        context.err << "vantor-cli convert: not built yet\n";
        context.result = ExitCode::Failed;
    });
}

}  // namespace vantor::cli
