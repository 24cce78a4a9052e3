#include "commands.h"

#include "regions/region_hosts.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>

namespace vantor::cli {

namespace {

struct RegionsOptions {
    std::string openSimFolder;
    std::string host;
    bool local = false;
};

std::string describe(const regions::RegionFileReport& file)
{
    using regions::RegionFileOutcome;
    using regions::SkipReason;
    switch (file.outcome) {
    case RegionFileOutcome::Rewritten:
        return "rewritten";
    case RegionFileOutcome::Unchanged:
        return "unchanged";
    case RegionFileOutcome::Skipped:
        break;
    }
    switch (file.reason) {
    case SkipReason::NoMarkers:
        return "skipped: no host line (external_host_name= ... master_avatar_uuid on line 2, or ExternalHostName)";
    case SkipReason::TooFewLines:
        return "skipped: fewer lines than the host line needs";
    case SkipReason::Unreadable:
        return "skipped: cannot be read (" + file.detail + ")";
    case SkipReason::NotWritable:
        return "skipped: cannot be written (" + file.detail + ")";
    case SkipReason::Folder:
        return "skipped: a folder";
    case SkipReason::NotPlainFile:
        return "skipped: not a plain file (a FIFO, a device or a socket)";
    case SkipReason::DanglingLink:
        return "skipped: a symbolic link that leads to no file";
    case SkipReason::OutsideOpenSim:
        return "skipped: a link to a file outside the OpenSim folder (" + file.detail + "), left as it is";
    case SkipReason::None:
        break;
    }
    return "skipped";
}

ExitCode runRegions(const RegionsOptions& options, CommandContext& context)
{
    const std::string host = options.local ? std::string(regions::kLocalHost) : options.host;
    if (!regions::isValidHost(host)) {
        context.err << "vantor-cli regions: --host needs a dotted IPv4 address (four numbers 0 to 255) or a host "
                       "name of letters, digits, hyphens and dots, not \""
                    << host << "\"\n";
        return ExitCode::Usage;
    }
    const std::string folder = regions::regionsFolderOf(options.openSimFolder);
    const regions::RegionHostsReport report = regions::rewriteRegionHosts(context.services.files, folder, host);
    if (report.failure == regions::RegionHostsError::NoRegionsFolder) {
        context.err << "vantor-cli regions: no Regions folder: " << folder << "\n";
        return ExitCode::Usage;
    }
    for (const regions::RegionFileReport& file : report.files) {
        context.out << file.name << ": " << describe(file) << "\n";
    }
    return report.anyFailed() ? ExitCode::Failed : ExitCode::Ok;
}

}  // namespace

void addRegionsCommand(CLI::App& app, CommandContext& context)
{
    auto options = std::make_shared<RegionsOptions>();
    auto* command = app.add_subcommand(
        "regions", "Rewrite the host that every region file of an OpenSim installation announces");
    command->add_option("OPENSIM_DIR", options->openSimFolder, "The OpenSim folder, which holds Regions/")
        ->required();
    auto* local = command->add_flag("--local", options->local, "Announce 127.0.0.1, for use on this machine only");
    auto* host = command->add_option("--host", options->host,
                                     "Announce ADDRESS (dotted IPv4 or host name), for use from the Internet")
                     ->type_name("ADDRESS");
    local->excludes(host);
    host->excludes(local);
    command->callback([&context, options, local, host] {
        if (local->count() == 0 && host->count() == 0) {
            context.err << "vantor-cli regions: give --local or --host ADDRESS\n";
            context.result = ExitCode::Usage;
            return;
        }
        context.result = runRegions(*options, context);
    });
}

}  // namespace vantor::cli
