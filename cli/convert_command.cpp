#include "commands.h"

#include "convert/conversion_run.h"
#include "convert/listing_parser.h"
#include "text/number_forms.h"
#include "text/strings.h"
#include "text/text_codec.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace vantor::cli {

namespace {

struct ConvertOptions {
    std::string listing;
    std::string outDir = ".";
    std::string name;
    std::string rez = std::string(convert::kDefaultRezX) + "," + convert::kDefaultRezY + "," + convert::kDefaultRezZ;
    std::string owner = convert::kDefaultOwnerUuid;
    std::string localId = convert::kDefaultLocalIdCounter;
    bool force = false;
    bool link = false;
    std::string format = "xml";
};

// The listing name of the listing file, as loading it in the main window names it.
std::string defaultName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return convert::listingNameOf(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The usage error for a value that no run can take.
std::string invalidFieldMessage(convert::RequestField field, const convert::ConversionRequest& request)
{
    switch (field) {
    case convert::RequestField::RezX:
    case convert::RequestField::RezY:
    case convert::RequestField::RezZ:
        return "--rez takes three numbers X,Y,Z, such as 125,125,25";
    case convert::RequestField::OwnerUuid:
        return "--owner takes a UUID of 8-4-4-4-12 hexadecimal digits, such as " + std::string(convert::kDefaultOwnerUuid) +
               ", not \"" + text::messageExcerpt(request.ownerUuid) + "\"";
    case convert::RequestField::LocalIdCounter:
        return "--local-id takes a whole number from 0 to " + std::to_string(convert::kLargestLocalId) +
               " (a LocalID), such as 720001, not \"" + text::messageExcerpt(request.localIdCounter) + "\"";
    }
    return {};
}

ExitCode runConvert(const ConvertOptions& options, CommandContext& context)
{
    auto& err = context.err;
    std::vector<std::string> rez;
    for (std::size_t begin = 0;;) {
        const auto comma = options.rez.find(',', begin);
        rez.push_back(options.rez.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin));
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    if (rez.size() != 3) {
        err << "vantor-cli convert: " << invalidFieldMessage(convert::RequestField::RezX, {}) << "\n";
        return ExitCode::Usage;
    }
    const std::string name = options.name.empty() ? defaultName(options.listing) : options.name;
    convert::ConversionRequest request;
    request.rezX = rez[0];
    request.rezY = rez[1];
    request.rezZ = rez[2];
    request.ownerUuid = options.owner;
    request.localIdCounter = options.localId;
    request.outputFolder = options.outDir;
    request.outputName = name;
    request.replaceExisting = options.force;
    request.linkObjects = options.link;
    if (options.format == "oar") {
        request.format = convert::OutputFormat::RegionArchive;
        request.createdAt = context.services.clock.secondsSinceEpoch();
    }
    if (const auto field = convert::firstInvalidField(request)) {
        err << "vantor-cli convert: " << invalidFieldMessage(*field, request) << "\n";
        return ExitCode::Usage;
    }
    if (name.empty()) {
        err << "vantor-cli convert: the output name is empty; give one with --name\n";
        return ExitCode::Usage;
    }
    if (!convert::isAcceptableOutputName(name)) {
        err << "vantor-cli convert: the output name \"" << name
            << "\" would leave the output folder; give a name without \"/\" or \"\\\", other than \".\" or \"..\"\n";
        return ExitCode::Usage;
    }
    // A device, a FIFO or a folder would be read without end, or not at all.
    const platform::PathKind kind = context.services.files.kindOf(options.listing);
    if (kind == platform::PathKind::Folder || kind == platform::PathKind::Other) {
        err << "vantor-cli convert: " << options.listing << " is not a regular file\n";
        return ExitCode::Usage;
    }

    std::string reason;
    auto listing = convert::loadListingFile(context.services.files, options.listing, &reason);
    if (!listing) {
        err << "vantor-cli convert: cannot read " << options.listing << ": " << reason << "\n";
        return ExitCode::Usage;
    }
    request.listingText = std::move(*listing);
    // --force is the answer to the overwrite question; without it an existing scene file stays.
    const std::string scenePath = convert::outputPathOf(request);
    if (!options.force && !convert::holdsNoPrims(request.listingText) && context.services.files.exists(scenePath)) {
        err << "vantor-cli convert: " << scenePath << " exists; use --force to replace it\n";
        return ExitCode::Usage;
    }

    const auto report = convert::runConversion(request, context.services.files, context.services.random);
    if (report) {
        context.out << report.scenePath << "\n" << report.primCount << (report.primCount == 1 ? " prim" : " prims")
                    << " written";
        if (options.link) {
            context.out << " as " << report.objectCount << (report.objectCount == 1 ? " object" : " objects");
        }
        context.out << "\n";
        if (report.end == convert::ConversionEnd::GuardStop) {
            err << "vantor-cli convert: stopped after a record whose first line is " << convert::kLongestLastLineA
                << " characters or shorter; the rest of the listing was not converted\n";
        }
        return ExitCode::Ok;
    }
    const convert::ConversionFailure& failure = *report.failure;
    switch (failure.error) {
    case convert::ConversionError::Cancelled:
    case convert::ConversionError::Stopped:
        err << "vantor-cli convert: nothing was converted\n";
        return ExitCode::Usage;
    case convert::ConversionError::EmptyListing:
        err << "vantor-cli convert: " << options.listing << " holds no prims; no file was written\n";
        return ExitCode::Failed;
    case convert::ConversionError::InvalidField:
        err << "vantor-cli convert: " << invalidFieldMessage(*failure.invalidField, request) << "\n";
        return ExitCode::Usage;
    case convert::ConversionError::RecordNotConverted:
        err << "vantor-cli convert: this record could not be converted; no file was written:\n"
            << text::messageExcerpt(failure.shownRecordText()) << "\n";
        return ExitCode::Failed;
    case convert::ConversionError::RecordTooShort:
        err << "vantor-cli convert: the listing ends with a record that is too short; no file was written\n";
        return ExitCode::Failed;
    case convert::ConversionError::CounterOutOfRange:
        err << "vantor-cli convert: the LocalID counter would pass " << convert::kLargestLocalId
            << ", the largest LocalID OpenSim holds, after " << report.localIdCounter
            << "; no file was written (start it lower with --local-id)\n";
        return ExitCode::Failed;
    case convert::ConversionError::NameTaken:
        err << "vantor-cli convert: " << report.scenePath
            << " was created by another program during the run and was left as it is; no file was written "
               "(use --force to replace it)\n";
        return ExitCode::Usage;
    case convert::ConversionError::OutputFailed:
        err << "vantor-cli convert: cannot write " << failure.path << ": " << failure.reason
            << "; no file was written\n";
        return ExitCode::Failed;
    }
    return ExitCode::Failed;
}

}  // namespace

void addConvertCommand(CLI::App& app, CommandContext& context)
{
    auto options = std::make_shared<ConvertOptions>();
    auto* command = app.add_subcommand("convert", "Convert a prim listing into an OpenSim scene file");
    command->add_option("LISTING", options->listing, "The prim listing (.txt) to convert")->required();
    command->add_option("--out-dir", options->outDir,
                        "Folder that receives NAME.xml (or NAME.oar) and beside it the listing copy NAME.xml" +
                            std::string(convert::kListingCopySuffix) + " (NAME.oar" +
                            std::string(convert::kListingCopySuffix) + ")")
        ->capture_default_str();
    command->add_option("--name", options->name,
                        "Output name without .xml or .oar (default: the listing's file name without .txt)");
    command->add_option("--rez", options->rez, "OpenSim rez position X,Y,Z")->capture_default_str();
    command->add_option("--owner", options->owner, "Owner UUID of every object")->capture_default_str();
    command->add_option("--local-id", options->localId, "LocalID counter before the run; the first prim gets the next")
        ->capture_default_str();
    command->add_flag("--force", options->force, "Replace an existing scene file or archive");
    command->add_flag("--link", options->link,
                      "Make linked objects: a record whose field 0 is 1 begins an object, the records after it are its parts");
    command->add_option("--format", options->format,
                        "xml: a scene file NAME.xml for load xml2; oar: a region archive NAME.oar for load oar --merge")
        ->check(CLI::IsMember({"xml", "oar"}))
        ->capture_default_str();
    command->callback([options, &context] { context.result = runConvert(*options, context); });
}

}  // namespace vantor::cli
