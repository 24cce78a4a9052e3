#include "conversion_run.h"

#include "document_writer.h"
#include "listing_parser.h"
#include "prim_xml.h"

#include "archive/archive_output.h"
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

// One conversion run, step by step: the checks, the two files written beside their targets,
// then both put in place.
class ConversionRun {
public:
    ConversionRun(const ConversionRequest& request, platform::FileSystem& files, platform::RandomSource& random)
        : m_request(request), m_files(files), m_random(random)
    {
        m_report.localIdCounter = request.localIdCounter;
    }

    ConversionReport run()
    {
        if (!checkRequest() || !chooseOutput() || !createFiles()) return untouched();
        writeFiles();
        if (!m_report.failure && goesOn(m_progress)) placeFiles();
        if (m_report.failedWith(ConversionError::Stopped)) return untouched();
        return std::move(m_report);
    }

private:
    bool checkRequest()
    {
        if (holdsNoPrims(m_request.listingText)) {
            fail(ConversionError::EmptyListing);
            return false;
        }
        if (const auto field = firstInvalidField(m_request)) {
            fail(ConversionError::InvalidField).invalidField = field;
            return false;
        }
        return true;
    }

    // The output paths, and whether the scene file may go in. The listing name takes ".xml"
    // whatever the name; an empty name ends the run.
    bool chooseOutput()
    {
        const std::string& answer = m_request.outputName;
        m_report.listingName = answer + ".xml";
        if (answer.empty()) {
            fail(ConversionError::Cancelled);
            return false;
        }
        if (!isAcceptableOutputName(answer)) {
            // Front ends ask again or refuse such a name; the run still never writes outside the folder.
            markOutputFailed(m_request.outputFolder + "/" + m_report.listingName,
                             "a name holding \"/\" or \"\\\", or that is \".\" or \"..\", leaves the folder");
            return false;
        }
        m_report.scenePath = outputPathOf(m_request);
        m_report.listingCopyPath = m_report.scenePath + std::string(kListingCopySuffix);

        if (!m_files.isDirectory(m_request.outputFolder)) {
            markOutputFailed(m_request.outputFolder, "No such file or directory");
            return false;
        }
        if (!m_request.replaceExisting && m_files.exists(m_report.scenePath)) {
            fail(ConversionError::NameTaken);
            return false;
        }
        return true;
    }

    // Both files are written beside their targets and put in place only when the run
    // succeeds, so a failed run leaves an earlier scene file and copy untouched.
    bool createFiles()
    {
        std::string reason;
        m_sceneFile = m_files.create(m_report.scenePath, &reason);
        if (!m_sceneFile) {
            markOutputFailed(m_report.scenePath, reason);
            return false;
        }
        if (m_request.format == OutputFormat::RegionArchive) {
            // The scene file's text goes into the archive instead, one entry per object line.
            archive::ArchiveOptions options;
            options.createdAt = m_request.createdAt;
            m_sceneFile = std::make_unique<archive::ArchiveOutputFile>(std::move(m_sceneFile), options);
        }
        m_copy = m_files.create(m_report.listingCopyPath, &reason);
        if (!m_copy) {
            markOutputFailed(m_report.listingCopyPath, reason);
            return false;
        }
        return true;
    }

    // Writes the listing copy and the scene file's documents. Every end but a complete
    // listing leaves the unconverted rest in the listing box; no failure is set when both
    // files are complete, even after a guard stop (m_guardStopped).
    void writeFiles()
    {
        m_sceneFile->write(scene::kSceneFileHead);

        // A lone LF or CR ends a line as CR LF does, so the copy and the parse both see CR LF:
        // the line ends are checked as the listing's lines are cut, and the text is normalised
        // only when one is not CR LF. The copy is the listing as parsed, plus the run's CR LF.
        const std::string& text = m_request.listingText;
        std::optional<std::string> normalised;
        std::optional<PrimListing> checkedListing = PrimListing::ifOnlyCrLf(text);
        if (!checkedListing) {
            normalised = text::normaliseLineEnds(text);
            checkedListing.emplace(*normalised, PrimListing::CrLfChecked{});
        }
        PrimListing& listing = *checkedListing;
        m_copy->write(normalised ? *normalised : text);
        m_copy->write("\r\n");

        std::string escapedOwner;
        text::appendXmlEscaped(escapedOwner, m_request.ownerUuid);
        DocumentWriter writer(*m_sceneFile, escapedOwner, m_request.linkObjects);
        const auto stop = [&](ConversionError error, std::string failingText = {}) {
            fail(error).recordText = std::move(failingText);
            m_report.remainingListing = listing.remainingText();
        };

        const auto offset = parseHeader(listing.headerLine(), m_request.rezX, m_request.rezY, m_request.rezZ);
        if (!offset) return stop(ConversionError::RecordNotConverted, listing.headerLine());

        ShapeNames shapeNames;
        PrimValues linkRoot;  // linking: the values of the object's root
        std::int32_t linkNumber = 0;
        PackedRecord record;
        RecordCut cut;
        // The counter was checked before the run began.
        std::uint32_t localId = localIdValue(m_request.localIdCounter).value_or(0);
        m_progress.bytesTotal = listing.bytesTotal();
        while (true) {
            const CutOutcome outcome = listing.cutRecord(cut);
            if (outcome == CutOutcome::GuardStop) {
                m_guardStopped = true;
                break;
            }
            if (outcome == CutOutcome::EndOfListing) break;
            if (outcome == CutOutcome::RecordTooShort) return stop(ConversionError::RecordTooShort);

            if (!parseRecord(cut, record)) {
                // The joined text is what the message shows, even when the parse gave up early.
                return stop(ConversionError::RecordNotConverted, record.recordText());
            }
            // The counter plus one; past the largest LocalID the run ends, whatever the record.
            if (localId == kLargestLocalId) return stop(ConversionError::CounterOutOfRange);
            ++localId;
            m_report.localIdCounter.clear();
            text::appendInteger(m_report.localIdCounter, localId);

            PreparedDocument& document = writer.next();
            document.objectUuid.clear();
            appendObjectUuid(document.objectUuid, m_random);
            if (!computePrimValues(record, *offset, shapeNames, document.values)) {
                return stop(ConversionError::RecordNotConverted, record.recordText());
            }
            document.beginsObject = !m_request.linkObjects || m_report.primCount == 0 || beginsObject(record);
            if (document.beginsObject) {
                linkRoot = document.values;
                linkNumber = 1;
                ++m_report.objectCount;
            } else if (!childPlacement(linkRoot, document.values, ++linkNumber, document.placement)) {
                return stop(ConversionError::RecordNotConverted, record.recordText());
            }
            document.localId = m_report.localIdCounter;
            document.name = record.name();
            writer.add();
            ++m_report.primCount;
            m_progress.recordsDone = static_cast<std::size_t>(m_report.primCount);
            m_progress.bytesConsumed = listing.bytesConsumed();
            if (!goesOn(m_progress)) return;
        }

        writer.finish();
        m_sceneFile->write(scene::kSceneFileTail);
        m_report.remainingListing = listing.remainingText();
    }

    // Both files are on the device before either is put in place; then the two renames
    // follow each other, the scene file first, since it is the one that may find its name taken.
    void placeFiles()
    {
        std::string reason;
        if (!m_sceneFile->prepare(&reason)) return markOutputFailed(m_report.scenePath, reason);
        if (!m_copy->prepare(&reason)) return markOutputFailed(m_report.listingCopyPath, reason);
        if (m_request.replaceExisting) {
            if (!m_sceneFile->commit(&reason)) return markOutputFailed(m_report.scenePath, reason);
        } else if (const platform::NewFileCommit placed = m_sceneFile->commitNew(&reason);
                   placed != platform::NewFileCommit::Placed) {
            if (placed == platform::NewFileCommit::Failed) return markOutputFailed(m_report.scenePath, reason);
            fail(ConversionError::NameTaken);
            return;
        }
        if (!m_copy->commit(&reason)) {
            // Without its copy the scene file must not stay: the earlier one comes back as it
            // was, or the new one goes.
            if (!m_sceneFile->revert()) m_files.remove(m_report.scenePath);
            return markOutputFailed(m_report.listingCopyPath, reason);
        }
        if (m_guardStopped) {
            m_report.end = ConversionEnd::GuardStop;
        } else {
            m_report.remainingListing.clear();
        }
    }

    // Tells the caller how far the run got; false, with the error Stopped, when it asks to stop.
    bool goesOn(const ConversionProgress& progress)
    {
        if (!m_request.progress || m_request.progress(progress)) return true;
        fail(ConversionError::Stopped);
        return false;
    }

    void markOutputFailed(const std::string& path, const std::string& reason)
    {
        ConversionFailure& failure = fail(ConversionError::OutputFailed);
        failure.path = path;
        failure.reason = reason;
    }

    ConversionFailure& fail(ConversionError error)
    {
        m_report.failure = ConversionFailure{};
        m_report.failure->error = error;
        return *m_report.failure;
    }

    // Before the listing is read, and after a stop, the listing box keeps its text and the
    // counter its value as they were.
    ConversionReport untouched()
    {
        m_report.remainingListing = m_request.listingText;
        if (m_report.failedWith(ConversionError::Stopped)) {
            m_report.localIdCounter = m_request.localIdCounter;
            m_report.primCount = 0;
            m_report.objectCount = 0;
        }
        return std::move(m_report);
    }

    const ConversionRequest& m_request;
    platform::FileSystem& m_files;
    platform::RandomSource& m_random;
    ConversionReport m_report;
    ConversionProgress m_progress;
    bool m_guardStopped = false;
    std::unique_ptr<platform::OutputFile> m_sceneFile;
    std::unique_ptr<platform::OutputFile> m_copy;
};

}  // namespace

ConversionReport runConversion(const ConversionRequest& request, platform::FileSystem& files,
                               platform::RandomSource& random)
{
    return ConversionRun(request, files, random).run();
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

std::string outputPathOf(const ConversionRequest& request)
{
    return request.outputFolder + "/" + request.outputName
        + (request.format == OutputFormat::RegionArchive ? ".oar" : ".xml");
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

std::string_view ConversionFailure::shownRecordText() const
{
    std::string_view record = recordText;
    while (!record.empty() && (record.front() == '\n' || record.front() == '\r')) record.remove_prefix(1);
    while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.remove_suffix(1);
    return record;
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
