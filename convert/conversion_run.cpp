#include "conversion_run.h"

#include "document_writer.h"
#include "listing_parser.h"
#include "prim_xml.h"

#include "scene/scene_file.h"
#include "text/number_forms.h"
#include "text/strings.h"
#include "text/text_codec.h"
#include "text/xml_text.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vantor::convert {

namespace {

// The LocalID counter's value: a whole number, decimal digits only, that a LocalID holds.
std::optional<std::uint32_t> localIdValue(std::string_view counter)
{
    if (counter.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char digit : counter) {
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value > kLargestLocalId) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// 8-4-4-4-12 hexadecimal digits (either case) with "-" between the groups, and nothing else.
bool isUuid(std::string_view text)
{
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !isHexDigit(text[i])) return false;
    }
    return true;
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
    report.listingName = request.listingName;
    // Before the listing is read the listing box keeps its text as it was.
    const auto untouched = [&report, &request] {
        report.remainingListing = request.listingText;
        return report;
    };

    // Nothing is asked for a run that cannot write a document.
    if (holdsNoPrims(request.listingText)) {
        report.outcome = ConversionOutcome::EmptyListing;
        return untouched();
    }
    if (const auto field = firstInvalidField(request)) {
        report.outcome = ConversionOutcome::InvalidField;
        report.invalidField = field;
        return untouched();
    }

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
    report.listingCopyPath = report.scenePath + std::string(kListingCopySuffix);

    if (!files.isDirectory(request.outputFolder)) {
        markOutputFailed(report, request.outputFolder, "No such file or directory");
        return untouched();
    }
    bool mayReplace = host.replacesUnasked();
    if (files.exists(report.scenePath)) {
        if (!host.confirmOverwrite(report.scenePath)) return untouched();
        mayReplace = true;
    }

    // Both files are written beside their targets and put in place only when the run
    // succeeds, so a failed run leaves an earlier scene file and copy untouched.
    std::string reason;
    const std::unique_ptr<platform::OutputFile> sceneFile = files.create(report.scenePath, &reason);
    if (!sceneFile) {
        markOutputFailed(report, report.scenePath, reason);
        return untouched();
    }
    const std::unique_ptr<platform::OutputFile> copy = files.create(report.listingCopyPath, &reason);
    if (!copy) {
        markOutputFailed(report, report.listingCopyPath, reason);
        return untouched();
    }

    sceneFile->write(scene::kSceneFileHead);

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

    std::string escapedOwner;
    text::appendXmlEscaped(escapedOwner, request.ownerUuid);
    DocumentWriter writer(*sceneFile, escapedOwner);
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
    // The counter was checked before the run began.
    std::uint32_t localId = localIdValue(request.localIdCounter).value_or(0);
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
        // The counter plus one; past the largest LocalID the run ends, whatever the record.
        if (localId == kLargestLocalId) return stop(ConversionOutcome::CounterOutOfRange);
        ++localId;
        report.localIdCounter.clear();
        text::appendInteger(report.localIdCounter, localId);

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
    sceneFile->write(scene::kSceneFileTail);
    host.beforePlacing();

    // Both files are on the device before either is put in place; then the two renames
    // follow each other, the scene file first, since it is the one that may find its name taken.
    if (!sceneFile->prepare(&reason)) {
        stop(ConversionOutcome::OutputFailed);
        markOutputFailed(report, report.scenePath, reason);
        return report;
    }
    if (!copy->prepare(&reason)) {
        stop(ConversionOutcome::OutputFailed);
        markOutputFailed(report, report.listingCopyPath, reason);
        return report;
    }
    if (mayReplace) {
        if (!sceneFile->commit(&reason)) {
            stop(ConversionOutcome::OutputFailed);
            markOutputFailed(report, report.scenePath, reason);
            return report;
        }
    } else if (const platform::NewFileCommit placed = sceneFile->commitNew(&reason);
               placed != platform::NewFileCommit::Placed) {
        stop(placed == platform::NewFileCommit::NameTaken ? ConversionOutcome::NameTaken
                                                           : ConversionOutcome::OutputFailed);
        if (placed == platform::NewFileCommit::Failed) markOutputFailed(report, report.scenePath, reason);
        return report;
    }
    if (!copy->commit(&reason)) {
        // Without its copy the scene file must not stay: the earlier one comes back as it
        // was, or the new one goes.
        if (!sceneFile->revert()) files.remove(report.scenePath);
        stop(ConversionOutcome::OutputFailed);
        markOutputFailed(report, report.listingCopyPath, reason);
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

std::optional<RequestField> firstInvalidField(const ConversionRequest& request)
{
    if (!text::parseNumber(request.rezX)) return RequestField::RezX;
    if (!text::parseNumber(request.rezY)) return RequestField::RezY;
    if (!text::parseNumber(request.rezZ)) return RequestField::RezZ;
    if (!isUuid(request.ownerUuid)) return RequestField::OwnerUuid;
    if (!localIdValue(request.localIdCounter)) return RequestField::LocalIdCounter;
    return std::nullopt;
}

bool holdsNoPrims(std::string_view listing)
{
    return listing.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string listingNameOf(std::string_view title)
{
    return text::removeAll(text::removeAll(std::string(title), ".txt"), ".TXT");
}

bool isAcceptableOutputName(std::string_view name)
{
    return name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace vantor::convert
