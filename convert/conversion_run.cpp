#include "conversion_run.h"

#include "document_writer.h"
#include "listing_parser.h"
#include "prim_xml.h"
#include "text/number_forms.h"
#include "text/scene_wrapper.h"
#include "text/text_codec.h"
#include "text/xml_text.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

namespace vantor::convert {

namespace {

// The LocalID counter's value: the text read as a number and rounded half to even to a
// 32-bit whole number; nothing when it does not convert or overflows.
std::optional<std::int32_t> localIdValue(const std::string& counter)
{
    const auto value = text::parseNumber(counter);
    if (!value) return std::nullopt;
    return text::toIntegerForm(*value);
}

void markOutputFailed(ConversionReport& report, const std::string& path, const std::string& reason)
{
    report.outcome = ConversionOutcome::OutputFailed;
    report.failedPath = path;
    report.failureReason = reason;
}

}  // namespace

ConversionReport runConversion(const ConversionRequest& request, ConversionHost& host, platform::FileSystem& files,
                               platform::RandomSource& random)
{
    ConversionReport report;
    report.localIdCounter = request.localIdCounter;
    // Before the listing is read the listing box keeps its text as it was.
    const auto untouched = [&report, &request] {
        report.remainingListing = request.listingText;
        return report;
    };

    // The listing name takes ".xml" whatever the answer; an empty answer ends the run.
    const std::string answer = host.askOutputName(request.listingName);
    report.listingName = answer + ".xml";
    if (report.listingName == ".xml") return untouched();
    if (!isAcceptableOutputName(answer)) {
        // Hosts ask again or refuse such a name; the run still never writes outside the folder.
        markOutputFailed(report, request.outputFolder + "/" + report.listingName,
                         "a name holding \"/\" or \"\\\", or that is \".\" or \"..\", leaves the folder");
        return untouched();
    }
    report.scenePath = request.outputFolder + "/" + report.listingName;
    report.listingCopyPath = report.scenePath + "_SLbase.txt";

    if (!files.isDirectory(request.outputFolder)) {
        markOutputFailed(report, request.outputFolder, "No such file or directory");
        return untouched();
    }
    if (files.exists(report.scenePath) && !host.confirmOverwrite(report.scenePath)) return untouched();

    // Both files are written beside their targets and put in place only when the run
    // succeeds, so a failed run leaves an earlier scene file and copy untouched.
    std::string reason;
    const std::unique_ptr<platform::OutputFile> scene = files.create(report.scenePath, &reason);
    if (!scene) {
        markOutputFailed(report, report.scenePath, reason);
        return untouched();
    }
    const std::unique_ptr<platform::OutputFile> copy = files.create(report.listingCopyPath, &reason);
    if (!copy) {
        markOutputFailed(report, report.listingCopyPath, reason);
        return untouched();
    }

    text::SceneWrapper sceneFile(*scene);
    sceneFile.begin();

    // A lone LF or CR ends a line as CR LF does, so the copy and the parse both see CR LF:
    // the line ends are checked as the listing's lines are cut, and the text is normalised
    // only when one is not CR LF. The copy is the listing as parsed, plus the run's CR LF.
    const std::string& text = request.listingText;
    std::optional<std::string> normalised;
    std::optional<PrimListing> checkedListing = PrimListing::ifOnlyCrLf(text);
    if (!checkedListing) {
        normalised = text::normaliseLineEnds(text);
        checkedListing.emplace(*normalised, PrimListing::CrLfChecked{});
    }
    PrimListing& listing = *checkedListing;
    copy->write(normalised ? *normalised : text);
    copy->write("\r\n");

    // The writer's thread writes the documents while this thread reads the listing and
    // computes them; it is stopped and joined before the files go.
    std::string escapedOwner;
    text::appendXmlEscaped(escapedOwner, request.ownerUuid);
    DocumentWriter writer(*scene, escapedOwner);
    // Every end but a complete listing leaves the unconverted rest in the listing box.
    const auto stop = [&](ConversionOutcome outcome, std::string failingText = {}) {
        report.outcome = outcome;
        report.failingRecordText = std::move(failingText);
        report.remainingListing = listing.remainingText();
        return report;
    };

    const auto offset = parseHeader(listing.headerLine(), request.rezX, request.rezY, request.rezZ);
    if (!offset) return stop(ConversionOutcome::ConversionError, listing.headerLine());

    ShapeNames shapeNames;
    PackedRecord record;
    RecordCut cut;
    // The counter's value once it was read: the counter text is then its integer form, which
    // reads back as the same value.
    std::optional<std::int32_t> localId;
    ConversionProgress progress;
    progress.bytesTotal = listing.bytesTotal();
    bool guardStopped = false;
    while (true) {
        const CutOutcome outcome = listing.cutRecord(cut);
        if (outcome == CutOutcome::GuardStop) {
            guardStopped = true;
            break;
        }
        if (outcome == CutOutcome::EndOfListing) break;
        if (outcome == CutOutcome::RecordTooShort) return stop(ConversionOutcome::RecordTooShort);

        if (!parseRecord(cut, record)) {
            // The joined text is what the message shows, even when the parse gave up early.
            return stop(ConversionOutcome::ConversionError, record.recordText());
        }
        // The counter plus one; a counter that does not convert or is at the 32-bit limit
        // fails the record.
        if (!localId) localId = localIdValue(report.localIdCounter);
        if (!localId || *localId == std::numeric_limits<std::int32_t>::max()) {
            return stop(ConversionOutcome::ConversionError, record.recordText());
        }
        ++*localId;
        report.localIdCounter.clear();
        text::appendInteger(report.localIdCounter, *localId);

        PreparedDocument& document = writer.next();
        document.objectUuid.clear();
        appendObjectUuid(document.objectUuid, random);
        if (!computePrimValues(record, *offset, shapeNames, document.values)) {
            return stop(ConversionOutcome::ConversionError, record.recordText());
        }
        document.localId = report.localIdCounter;
        document.name = record.name();
        writer.add();
        ++report.primCount;
        progress.recordsDone = static_cast<std::size_t>(report.primCount);
        progress.bytesConsumed = listing.bytesConsumed();
        host.recordConverted(progress);
    }

    writer.finish();
    sceneFile.end();
    const bool earlierCopy = files.exists(report.listingCopyPath);
    if (!copy->commit(&reason)) {
        stop(ConversionOutcome::OutputFailed);
        markOutputFailed(report, report.listingCopyPath, reason);
        return report;
    }
    if (!scene->commit(&reason)) {
        // The copy is already in place; without its scene file it must not stay, and an
        // earlier copy comes back as it was.
        if (!copy->revert() && !earlierCopy) files.remove(report.listingCopyPath);
        stop(ConversionOutcome::OutputFailed);
        markOutputFailed(report, report.scenePath, reason);
        return report;
    }
    if (guardStopped) return stop(ConversionOutcome::GuardStop);
    report.outcome = ConversionOutcome::Done;
    report.remainingListing.clear();
    return report;
}

std::optional<std::string> loadListingFile(const platform::FileSystem& files, const std::string& path,
                                           std::string* reason)
{
    auto bytes = files.readAll(path, reason);
    if (!bytes) return std::nullopt;
    std::string listing = text::decodeText(std::move(*bytes));
    bytes.reset();
    if (!(listing.empty() || listing.ends_with("\r\n")) || !text::hasOnlyCrLfLineEnds(listing)) {
        listing = text::toCrLfLines(listing);
    }
    return listing;
}

bool isAcceptableOutputName(std::string_view name)
{
    return name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace vantor::convert
