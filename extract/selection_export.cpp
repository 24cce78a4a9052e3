#include "selection_export.h"

#include "scene/scene_file.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace vantor::extract {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool endsWithXml(std::string_view path)
{
    if (path.size() < 4) return false;
    const std::string_view ending = path.substr(path.size() - 4);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return ending[0] == '.' && lower(ending[1]) == 'x' && lower(ending[2]) == 'm' && lower(ending[3]) == 'l';
}

ExportFailure fileFailure(ExportError error, const std::string& path, std::string reason)
{
    ExportFailure failure;
    failure.error = error;
    failure.path = path;
    failure.reason = std::move(reason);
    return failure;
}

ExportFailure stopFailure()
{
    ExportFailure failure;
    failure.error = ExportError::Stopped;
    return failure;
}

ExportFailure objectFailure(ExportError error, std::size_t objectNumber, std::string name, RecordFailure cause)
{
    ExportFailure failure;
    failure.error = error;
    failure.objectNumber = objectNumber;
    failure.objectName = std::move(name);
    failure.cause = cause;
    return failure;
}

// Whether the caller asked to stop.
bool stopped(const std::function<bool()>& stopRequested) { return stopRequested && stopRequested(); }

// Writes the entries, each followed by CR LF. Entries that follow each other in the text they
// were read from, with CR LF between them, go out as one block, straight from that text.
// False when the caller asked to stop.
bool writeEntries(const ObjectLines& table, platform::OutputFile& out, const std::function<bool()>& stopRequested)
{
    if (table.readsByCopy()) {
        std::string buffer;
        for (std::size_t k = 0; k < table.size(); ++k) {
            if (stopped(stopRequested)) return false;
            out.write(table.read(k, buffer));
            out.write(kLineEnd);
        }
        return true;
    }
    const auto address = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
    for (std::size_t k = 0; k < table.size();) {
        if (stopped(stopRequested)) return false;
        const char* begin = table[k].data();
        const char* end = begin + table[k].size();
        for (++k; k < table.size() && address(table[k].data()) == address(end) + kLineEnd.size()
                  && std::string_view(end, kLineEnd.size()) == kLineEnd;
             ++k) {
            end = table[k].data() + table[k].size();
        }
        out.write(std::string_view(begin, static_cast<std::size_t>(end - begin)));
        out.write(kLineEnd);
    }
    return true;
}

// Appends the records of every object to listing, each followed by CR LF; the first object
// that gives no record ends it.
std::optional<ExportFailure> appendRecords(const ObjectLines& table, ListingRecordBuilder& builder,
                                           std::string& listing, const std::function<bool()>& stopRequested)
{
    std::string buffer;
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (stopped(stopRequested)) return stopFailure();
        const BuiltText record = builder.buildListingRecord(table.read(k, buffer));
        if (!record) return objectFailure(ExportError::RecordFailed, k + 1, builder.name(), *record.failure);
        listing += record.text;
        listing += kLineEnd;
    }
    return std::nullopt;
}

// Builds the listing of a table: the header line, then two lines per object (per part of a
// linked object), every line ending in CR LF; or the first object that gives no record.
std::optional<ExportFailure> buildListing(const ObjectLines& table, const platform::Clock& clock,
                                          std::string& listing, const std::function<bool()>& stopRequested)
{
    if (table.empty()) return std::nullopt;
    // The header's rez position is the last object's: a position near the build that the
    // converter subtracts from every object's position when it reads the listing back.
    const std::size_t anchor = table.size() - 1;
    std::string anchorName;
    std::string buffer;
    const BuiltText header = buildHeaderLineFor(table.read(anchor, buffer), clock, &anchorName);
    if (!header) return objectFailure(ExportError::HeaderFailed, anchor + 1, anchorName, *header.failure);
    listing.reserve(table.size() * 256);
    listing += header.text;
    listing += kLineEnd;
    ListingRecordBuilder builder(clock);
    return appendRecords(table, builder, listing, stopRequested);
}

}  // namespace

std::string listingPathFor(std::string_view scenePath)
{
    std::string path(scenePath);
    if (endsWithXml(path)) {
        path.replace(path.size() - 4, 4, ".txt");
    } else {
        path += ".txt";
    }
    return path;
}

namespace {

ExportReport exportFiles(const ObjectLines& table, const std::string& scenePath, const platform::Clock& clock,
                         platform::FileSystem& files, const std::function<bool()>& stopRequested)
{
    ExportReport report;
    report.scenePath = scenePath;
    report.listingPath = listingPathFor(scenePath);
    if (table.empty()) {
        report.failure = ExportFailure{};
        report.failure->error = ExportError::NothingToSave;
        return report;
    }

    std::string reason;
    const auto sceneFile = files.create(scenePath, &reason);
    if (!sceneFile) {
        report.failure = fileFailure(ExportError::SceneFileFailed, scenePath, reason);
        return report;
    }

    // The scene file is written first, then the listing is built; the listing is written
    // only when every record was built.
    sceneFile->write(scene::kSceneFileHead);
    const bool sceneWritten = writeEntries(table, *sceneFile, stopRequested);
    sceneFile->write(scene::kSceneFileTail);
    std::string listing;
    std::optional<ExportFailure> recordFailure;
    if (sceneWritten) recordFailure = buildListing(table, clock, listing, stopRequested);
    // Past this point the export runs to its end: a stop would leave the scene file without
    // its listing.
    if (!sceneWritten || stopped(stopRequested) || (recordFailure && recordFailure->error == ExportError::Stopped)) {
        report.failure = stopFailure();
        return report;
    }
    // What was written and built is the file as it was read, or nothing is put in place.
    if (table.sourceChanged()) {
        report.failure = ExportFailure{};
        report.failure->error = ExportError::InputChanged;
        return report;
    }
    if (recordFailure) {
        // The scene file alone, as the selection asked; no half listing.
        if (!sceneFile->commit(&reason)) {
            report.failure = fileFailure(ExportError::SceneFileFailed, scenePath, reason);
            return report;
        }
        report.objectCount = table.size();
        report.sceneWritten = true;
        report.failure = std::move(recordFailure);
        return report;
    }

    // Both files are complete and on the device before either is put in place; then the two
    // renames follow each other, so that a kill or a full disk finds the old pair or the new.
    const auto out = files.create(report.listingPath, &reason);
    if (!out) {
        report.failure = fileFailure(ExportError::ListingFileFailed, report.listingPath, reason);
        return report;
    }
    out->write(listing);
    if (!sceneFile->prepare(&reason)) {
        report.failure = fileFailure(ExportError::SceneFileFailed, scenePath, reason);
        return report;
    }
    if (!out->prepare(&reason)) {
        report.failure = fileFailure(ExportError::ListingFileFailed, report.listingPath, reason);
        return report;
    }
    if (!sceneFile->commit(&reason)) {
        report.failure = fileFailure(ExportError::SceneFileFailed, scenePath, reason);
        return report;
    }
    if (!out->commit(&reason)) {
        // Without its listing the new scene file does not stay: the earlier one comes back.
        if (!sceneFile->revert()) files.remove(scenePath);
        report.failure = fileFailure(ExportError::ListingFileFailed, report.listingPath, reason);
        return report;
    }
    report.objectCount = table.size();
    report.sceneWritten = true;
    return report;
}

}  // namespace

ExportReport exportSelection(const ObjectLines& table, const std::string& scenePath, const platform::Clock& clock,
                             platform::FileSystem& files, const std::function<bool()>& stopRequested)
{
    try {
        return exportFiles(table, scenePath, clock, files, stopRequested);
    } catch (const std::bad_alloc&) {
        // An output not yet put in place goes with the stack.
        ExportReport report;
        report.scenePath = scenePath;
        report.listingPath = listingPathFor(scenePath);
        report.failure = ExportFailure{};
        report.failure->error = ExportError::OutOfMemory;
        return report;
    }
}

bool exportReplacesInput(const std::string& scenePath, const std::string& inputPath, const platform::FileSystem& files)
{
    return files.isSameFile(scenePath, inputPath) || files.isSameFile(listingPathFor(scenePath), inputPath);
}

}  // namespace vantor::extract
