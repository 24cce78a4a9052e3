#include "cli.h"

#include "commands.h"

#include <CLI/CLI.hpp>

#include <new>
#include <ostream>
#include <string>
#include <vector>

namespace vantor::cli {

ExitCode runCli(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
                const Services& services)
{
    CLI::App app{"Carries builds between prim listings and OpenSim scene files.", "vantor-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "vantor-cli " VANTOR_VERSION);
    CommandContext context{out, err, services};
    addConvertCommand(app, context);
    addExtractCommand(app, context);
    addRegionsCommand(app, context);

    // CLI11 takes its arguments in reverse order.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const std::bad_alloc&) {
        // Whatever a command had not yet put in place went with the stack.
        err << "vantor-cli: out of memory\n";
        return ExitCode::Usage;
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return ExitCode::Ok;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return ExitCode::Ok;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return ExitCode::Ok;
    } catch (const CLI::ParseError& error) {
        err << "vantor-cli: " << error.what() << "\n";
        if (error.get_name() == "RequiredError" && app.get_subcommands().empty()) {
            err << app.help();
        } else {
            err << "Run 'vantor-cli --help' for the commands and their options.\n";
        }
        return ExitCode::Usage;
    }
    return context.result;
}

}  // namespace vantor::cli
