#include "commands.h"

#include "extract/scene_archive.h"
#include "extract/scene_load.h"
#include "extract/selection.h"
#include "extract/selection_export.h"
#include "scene/object_layout.h"
#include "text/number_forms.h"
#include "text/strings.h"

#include <CLI/CLI.hpp>

#include <array>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace vantor::cli {

namespace {

struct ExtractOptions {
    std::string scene;
    std::string out;
    std::string rectangle;
    bool invert = false;
};

// Two opposite corners of a rectangle in region metres.
struct Corners {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

std::optional<Corners> parseCorners(const std::string& text)
{
    std::array<double, 4> numbers{};
    std::size_t from = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::size_t comma = text.find(',', from);
        if ((comma == std::string::npos) != (i + 1 == numbers.size())) return std::nullopt;
        const auto number = text::parseNumber(
            std::string_view(text).substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (!number) return std::nullopt;
        numbers[i] = *number;
        from = comma + 1;
    }
    return Corners{numbers[0], numbers[1], numbers[2], numbers[3]};
}

std::string describe(const extract::RecordFailure& cause)
{
    // "value 48 (PathCurve)"; a linked part is named by its number, the root being part 1.
    std::string value = "value " + std::to_string(cause.valueIndex);
    const std::string_view element = scene::shortElementName(cause.valueIndex);
    if (!element.empty()) value += " (" + std::string(element) + ")";
    const std::string part = cause.part == 0 ? std::string{} : " in part " + std::to_string(cause.part + 1);
    switch (cause.error) {
    case extract::RecordError::CutOffLine:
        return "it is cut off (a \"<\" after its last \">\")";
    case extract::RecordError::MissingValue:
        return "it has no " + value + part;
    case extract::RecordError::NotANumber:
        return "its " + value + part + " is not a number";
    case extract::RecordError::ArithmeticFault:
        return "its " + value + part + " is too large to convert";
    }
    return {};
}

// Where the load stopped at a cut-off line: "line 7 (object 5)", or "object 5" in an archive.
std::string cutOffPlace(const extract::ObjectPlace& cutOff)
{
    std::string place = "object " + std::to_string(cutOff.objectNumber);
    return cutOff.lineNumber == 0 ? place : "line " + std::to_string(cutOff.lineNumber) + " (" + place + ")";
}

// The exit code of a failed export, after saying why. cutOffLine is the line at which the load
// stopped at a cut-off object, if it did (0 otherwise): the only one an export can meet.
ExitCode reportExportFailure(const extract::ExportReport& report, std::size_t cutOffLine, std::ostream& err)
{
    const extract::ExportFailure& failure = *report.failure;
    err << "vantor-cli extract: ";
    switch (failure.error) {
    case extract::ExportError::NothingToSave:
        err << "nothing to save: the selection holds no object; no file was written\n";
        return ExitCode::Failed;
    case extract::ExportError::InputChanged:
        err << "the scene file changed while it was read (is OpenSim writing it?); no file was written\n";
        return ExitCode::Usage;
    case extract::ExportError::OutOfMemory:
        err << "not enough memory to build the listing; no listing was written\n";
        return ExitCode::Usage;
    case extract::ExportError::Stopped:
        err << "stopped; no file was written\n";
        return ExitCode::Failed;
    case extract::ExportError::ObjectRefused:
        err << "object " << failure.objectNumber;
        if (!failure.objectName.empty()) err << " (\"" << text::messageExcerpt(failure.objectName) << "\")";
        err << " cannot go into a region archive, OpenSim could not read it: " << failure.reason
            << "; no file was written\n";
        return ExitCode::Failed;
    case extract::ExportError::AssetsFailed:
        err << "cannot copy the assets of " << failure.path << ": " << failure.reason << "; no file was written\n";
        return ExitCode::Failed;
    case extract::ExportError::SceneFileFailed:
    case extract::ExportError::ListingFileFailed:
        err << "cannot write " << failure.path << ": " << failure.reason << "\n";
        break;
    case extract::ExportError::HeaderFailed:
    case extract::ExportError::RecordFailed:
        err << (failure.error == extract::ExportError::HeaderFailed ? "no header line from object "
                                                                     : "cannot export object ")
            << failure.objectNumber;
        if (!failure.objectName.empty()) err << " (\"" << text::messageExcerpt(failure.objectName) << "\")";
        err << ": " << describe(failure.cause);
        if (failure.cause.error == extract::RecordError::CutOffLine && cutOffLine != 0) err << " at line " << cutOffLine;
        err << "\n";
        break;
    }
    if (report.sceneWritten) {
        err << "vantor-cli extract: " << report.scenePath << " was written; no listing was written\n";
    }
    return ExitCode::Failed;
}

// The exit code of a load that ended in a read error, after saying why.
ExitCode reportReadError(const extract::SceneLoad& load, const std::string& scenePath, std::ostream& err)
{
    err << "vantor-cli extract: cannot read " << scenePath;
    const extract::LoadFailure& failure = *load.failure;
    switch (failure.error) {
    case extract::LoadError::FileUnreadable:
        err << ": " << failure.reason << "\n";
        return ExitCode::Usage;
    case extract::LoadError::NotAnArchive:
        err << " as an OpenSim archive (a gzip-compressed tar with archive.xml): " << failure.reason << "\n";
        return ExitCode::Usage;
    case extract::LoadError::ObjectTooLarge:
        err << ": its object " << failure.reason << " unpacks to more than " << (extract::kLargestObjectBytes >> 20)
            << " MiB, far more than any real object; the archive is refused\n";
        return ExitCode::Usage;
    case extract::LoadError::NoScratchRoom:
        err << ": unpacking its objects would leave less than "
            << (platform::kScratchReserveBytes >> 30) << " GiB free in " << failure.reason
            << "; the archive is refused (set TMPDIR to a folder with more room)\n";
        return ExitCode::Usage;
    case extract::LoadError::FileChanged:
        err << ": it changed while it was read (is OpenSim writing it?); try again once it is written\n";
        return ExitCode::Usage;
    case extract::LoadError::OutOfMemory:
        err << ": not enough memory to load it\n";
        return ExitCode::Usage;
    case extract::LoadError::TooFewValues:
    case extract::LoadError::PositionNotANumber:
        break;
    }
    if (failure.place.lineNumber != 0) err << ", line " << failure.place.lineNumber;
    err << " (object " << failure.place.objectNumber << "): "
        << (failure.error == extract::LoadError::TooFewValues
                ? "fewer than " + std::to_string(scene::kPositionValueCount) + " values, so no position"
                : "its position (value " + std::to_string(scene::value::kPositionX) + " or "
                      + std::to_string(scene::value::kPositionY) + ") is not a number")
        << "\n";
    return ExitCode::Failed;
}

// A usage error when the scene is no regular file, or when the export would replace it.
std::optional<ExitCode> checkPaths(const ExtractOptions& options, const platform::FileSystem& files, std::ostream& err)
{
    if (const platform::PathKind kind = files.kindOf(options.scene); kind != platform::PathKind::RegularFile) {
        err << "vantor-cli extract: " << options.scene
            << (kind == platform::PathKind::Missing ? ": no such file\n" : " is not a regular file\n");
        return ExitCode::Usage;
    }
    if (extract::exportReplacesInput(options.out, options.scene, files)) {
        err << "vantor-cli extract: "
            << (files.isSameFile(options.out, options.scene)
                    ? "--out " + options.out
                    : "the listing " + extract::listingPathFor(options.out) + " written beside --out")
            << " would replace " << options.scene << " itself; choose another --out\n";
        return ExitCode::Usage;
    }
    return std::nullopt;
}

// Narrows the selection to the rectangle (or what lies outside it), saying where the
// filter stopped if it did. cutOff: where the load stopped, if it did.
void selectRectangle(extract::SceneSelection& selection, const Corners& corners, bool invert,
                     const std::optional<std::string>& cutOff, std::ostream& err)
{
    selection.selectRegion({corners.x1, corners.y1}, {corners.x2, corners.y2});
    const extract::FilterResult filtered = selection.extract(invert);
    if (!filtered.stop) return;
    // The filter meets no other cut-off line than the one the load stopped at.
    err << "vantor-cli extract: the selection stops at "
        << (filtered.stop == extract::FilterStop::CutOffLine && cutOff
                ? *cutOff + ", which is cut off"
                : "object " + std::to_string(filtered.stoppedAt) + ", which has no readable position")
        << "; it and the objects after it are left out\n";
}

ExitCode runExtract(const ExtractOptions& options, bool withRectangle, CommandContext& context)
{
    std::ostream& err = context.err;
    std::optional<Corners> corners;
    if (withRectangle) {
        corners = parseCorners(options.rectangle);
        if (!corners) {
            err << "vantor-cli extract: --rect needs four numbers X1,Y1,X2,Y2 (region metres), not \""
                << options.rectangle << "\"\n";
            return ExitCode::Usage;
        }
    }
    platform::FileSystem& files = context.services.files;
    if (const auto refused = checkPaths(options, files, err)) return *refused;

    const extract::MapGeometry map;
    extract::SceneLoad load = extract::loadScenePath(files, options.scene, map);
    if (!load) return reportReadError(load, options.scene, err);
    std::optional<std::string> cutOff;
    if (load.cutOff) {
        cutOff = cutOffPlace(*load.cutOff);
        err << "vantor-cli extract: " << options.scene << ", " << *cutOff
            << " is cut off (a \"<\" after its last \">\"); the objects from there on have no position\n";
    }
    const std::size_t loaded = load.objects.size();

    extract::SceneSelection selection(map);
    selection.setTable(std::move(load.objects), std::move(load.markers), std::move(load.positions));
    if (corners) selectRectangle(selection, *corners, options.invert, cutOff, err);

    const bool asArchive = extract::isArchiveName(options.out);
    const extract::ExportReport report =
        extract::saveSelection(selection.objects(), options.out, options.scene, context.services.clock, files);
    if (!report) return reportExportFailure(report, load.cutOff ? load.cutOff->lineNumber : 0, err);
    context.out << "Loaded " << loaded << " objects from " << options.scene << "\n"
                << "Exported " << report.objectCount << " objects";
    if (asArchive) context.out << " and " << report.assetCount << " assets";
    context.out << " to " << report.scenePath << " and " << report.listingPath << "\n";
    if (asArchive) context.out << "Load it in the OpenSim console with: load oar --merge \"" << report.scenePath << "\"\n";
    return ExitCode::Ok;
}

}  // namespace

void addExtractCommand(CLI::App& app, CommandContext& context)
{
    auto options = std::make_shared<ExtractOptions>();
    auto* command = app.add_subcommand(
        "extract", "Keep the objects of an OpenSim scene file or archive inside (or outside) a rectangle and save "
                   "them as a scene file or region archive and a prim listing");
    command->add_option("SCENE", options->scene, "The OpenSim scene file (.xml) or region archive (.oar) to read")
        ->required();
    command->add_option("--out", options->out,
                        "The scene file (.xml) or region archive (.oar) to write; the listing goes beside it as .txt")
        ->required();
    auto* rectangle = command->add_option("--rect", options->rectangle,
                                          "Two opposite corners X1,Y1,X2,Y2 in region metres; keeps the objects "
                                          "strictly inside (without it, every object is saved)");
    command->add_flag("--invert", options->invert, "Keep the objects strictly outside the rectangle instead")
        ->needs(rectangle);
    command->callback([&context, options, rectangle] {
        context.result = runExtract(*options, rectangle->count() > 0, context);
    });
}

}  // namespace vantor::cli
