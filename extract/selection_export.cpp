#include "selection_export.h"

#include "asset_references.h"
#include "scene_archive.h"

#include "archive/archive_output.h"
#include "archive/region_archive.h"
#include "scene/scene_file.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace vantor::extract {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Whether path ends in ending (".xml"), in any letter case.
bool endsWith(std::string_view path, std::string_view ending)
{
    if (path.size() < ending.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(ending.begin(), ending.end(), path.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [&](char a, char b) { return a == lower(b); });
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

// The caller's progress callback, with how far the export has got.
class Progress {
public:
    Progress(const ExportProgressCallback& callback, std::size_t objectCount) : m_callback(callback)
    {
        m_state.objectCount = objectCount;
    }

    // Whether the caller asks to stop, told how far the export got.
    [[nodiscard]] bool stopAsked() const { return m_callback && !m_callback(m_state); }
    void setObjectsWritten(std::size_t count) { m_state.objectsWritten = count; }
    void setRecordsBuilt(std::size_t count) { m_state.recordsBuilt = count; }

private:
    const ExportProgressCallback& m_callback;
    ExportProgress m_state;
};

// Writes the entries, each followed by CR LF. Entries that follow each other in the text they
// were read from, with CR LF between them, go out as one block, straight from that text.
// False when the caller asked to stop.
bool writeEntries(const ObjectLines& table, platform::OutputFile& out, Progress& progress)
{
    if (table.readsByCopy()) {
        std::string buffer;
        for (std::size_t k = 0; k < table.size(); ++k) {
            progress.setObjectsWritten(k);
            if (progress.stopAsked()) return false;
            out.write(table.read(k, buffer));
            out.write(kLineEnd);
        }
        return true;
    }
    const auto address = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
    for (std::size_t k = 0; k < table.size();) {
        progress.setObjectsWritten(k);
        if (progress.stopAsked()) return false;
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
                                           std::string& listing, Progress& progress)
{
    std::string buffer;
    for (std::size_t k = 0; k < table.size(); ++k) {
        progress.setRecordsBuilt(k);
        if (progress.stopAsked()) return stopFailure();
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
                                          std::string& listing, Progress& progress)
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
    return appendRecords(table, builder, listing, progress);
}

}  // namespace

std::string listingPathFor(std::string_view scenePath)
{
    std::string path(scenePath);
    if (endsWith(path, ".xml") || endsWith(path, ".oar")) {
        path.replace(path.size() - 4, 4, ".txt");
    } else {
        path += ".txt";
    }
    return path;
}

namespace {

// Writes the main file of an export (the scene file or the archive) into its output: nothing
// when it is whole, else why not (Stopped when the caller asked to stop).
using MainFileWriter = std::function<std::optional<ExportFailure>(platform::OutputFile&)>;

ExportReport exportFiles(const ObjectLines& table, const std::string& scenePath, const platform::Clock& clock,
                         platform::FileSystem& files, Progress& progress,
                         const MainFileWriter& writeMainFile)
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

    // The main file is written first, then the listing is built; the listing is written only
    // when every record was built.
    std::string listing;
    std::optional<ExportFailure> recordFailure;
    std::optional<ExportFailure> mainFailure = writeMainFile(*sceneFile);
    if (!mainFailure) {
        progress.setObjectsWritten(table.size());
        recordFailure = buildListing(table, clock, listing, progress);
        if (!recordFailure) progress.setRecordsBuilt(table.size());
    }
    // Past this point the export runs to its end: a stop would leave the scene file without
    // its listing.
    if ((mainFailure && mainFailure->error == ExportError::Stopped) || progress.stopAsked()
        || (recordFailure && recordFailure->error == ExportError::Stopped)) {
        report.failure = stopFailure();
        return report;
    }
    if (mainFailure) {
        report.failure = std::move(mainFailure);
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

namespace {

ExportReport outOfMemory(const std::string& scenePath)
{
    ExportReport report;
    report.scenePath = scenePath;
    report.listingPath = listingPathFor(scenePath);
    report.failure = ExportFailure{};
    report.failure->error = ExportError::OutOfMemory;
    return report;
}

ExportFailure inputChanged()
{
    ExportFailure failure;
    failure.error = ExportError::InputChanged;
    return failure;
}

ExportFailure assetsFailure(const std::string& path, std::string reason)
{
    return fileFailure(ExportError::AssetsFailed, path, std::move(reason));
}

// The failure of an export whose archive failed.
ExportFailure archiveFailure(const archive::ArchiveFailure& failure, const std::string& archivePath,
                             const std::string& sourcePath)
{
    switch (failure.error) {
    case archive::ArchiveError::ObjectRefused: {
        ExportFailure refused;
        refused.error = ExportError::ObjectRefused;
        refused.objectNumber = failure.objectNumber;
        refused.objectName = failure.objectName;
        refused.reason = failure.reason;
        return refused;
    }
    case archive::ArchiveError::OutOfMemory: {
        ExportFailure exhausted;
        exhausted.error = ExportError::OutOfMemory;
        return exhausted;
    }
    case archive::ArchiveError::AssetRefused:
    case archive::ArchiveError::AssetsNotDeclared:
    case archive::ArchiveError::AssetUnreadable:
    case archive::ArchiveError::AssetSizeWrong:
        return assetsFailure(sourcePath, archive::describeFailure(failure));
    case archive::ArchiveError::NoObjects:  // an empty table writes nothing before it gets here
    case archive::ArchiveError::OutputFailed:
        break;
    }
    return fileFailure(ExportError::SceneFileFailed, archivePath, failure.reason);
}

// The UUIDs of the source archive's assets: of every entry that OpenSim's loader takes as an
// asset. Nothing (and the failure) when the source cannot be read through.
std::optional<ExportFailure> listAssets(const platform::FileSystem& files, const std::string& sourcePath,
                                        std::vector<UuidBytes>& assets, Progress& progress)
{
    std::string reason;
    auto stream = files.openStream(sourcePath, &reason);
    if (!stream) return assetsFailure(sourcePath, std::move(reason));
    const auto failure = readArchiveEntries(*stream, [&](ArchiveEntry& entry) {
        if (const auto asset = archive::parseAssetEntryName(entry.path)) {
            if (const auto uuid = uuidBytes(asset->uuid)) assets.push_back(*uuid);
        }
        return !progress.stopAsked();
    });
    if (progress.stopAsked()) return stopFailure();
    if (stream->changed()) return inputChanged();
    if (failure) return assetsFailure(sourcePath, *failure);
    return std::nullopt;
}

// Copies the source's assets that the objects refer to into the archive, each once.
std::optional<ExportFailure> copyAssets(const platform::FileSystem& files, const std::string& sourcePath,
                                        const AssetReferences& references, archive::RegionArchiveWriter& writer,
                                        Progress& progress)
{
    std::string reason;
    auto stream = files.openStream(sourcePath, &reason);
    if (!stream) return assetsFailure(sourcePath, std::move(reason));
    std::set<UuidBytes> written;
    const auto failure = readArchiveEntries(*stream, [&](ArchiveEntry& entry) {
        if (progress.stopAsked()) return false;
        const auto asset = archive::parseAssetEntryName(entry.path);
        if (!asset) return true;
        const auto uuid = uuidBytes(asset->uuid);
        if (!uuid || !references.isReferenced(*uuid)) return true;
        if (!written.insert(*uuid).second) return true;  // an asset the source holds twice goes once
        return static_cast<bool>(writer.addAsset(*asset, entry.size, entry.bytes));
    });
    if (progress.stopAsked()) return stopFailure();
    if (stream->changed()) return inputChanged();
    if (failure && writer.report()) return assetsFailure(sourcePath, *failure);
    return std::nullopt;
}

// Writes the table's objects, and the source's assets that they refer to, as a region archive.
std::optional<ExportFailure> writeArchive(const ObjectLines& table, const std::string& archivePath,
                                          const ArchiveSource& source, const platform::FileSystem& files,
                                          platform::OutputFile& out, Progress& progress,
                                          std::size_t& assetCount)
{
    std::vector<UuidBytes> assets;
    if (!source.path.empty() && readsAsArchive(files, source.path)) {
        if (auto failure = listAssets(files, source.path, assets, progress)) return failure;
    }
    AssetReferences references(std::move(assets));
    std::string buffer;
    if (!references.empty()) {
        for (std::size_t k = 0; k < table.size(); ++k) {
            if (progress.stopAsked()) return stopFailure();
            references.scan(table.read(k, buffer));
        }
    }

    archive::ArchiveOptions options;
    options.createdAt = source.createdAt;
    options.withAssets = references.referencedCount() > 0;
    archive::RegionArchiveWriter writer(out, options);
    for (std::size_t k = 0; k < table.size() && writer.report(); ++k) {
        progress.setObjectsWritten(k);
        if (progress.stopAsked()) return stopFailure();
        const std::string_view document = table.read(k, buffer);
        (void)writer.addObject({document, archive::describeObject(document).value_or(archive::ObjectIdentity{})});
    }
    if (writer.report() && options.withAssets) {
        if (auto failure = copyAssets(files, source.path, references, writer, progress)) return failure;
    }
    if (const archive::ArchiveReport& report = writer.finish(); !report) {
        return archiveFailure(*report.failure, archivePath, source.path);
    }
    assetCount = writer.report().assetCount;
    return std::nullopt;
}

}  // namespace

ExportReport exportSelection(const ObjectLines& table, const std::string& scenePath, const platform::Clock& clock,
                             platform::FileSystem& files, const ExportProgressCallback& callback)
{
    try {
        Progress progress(callback, table.size());
        return exportFiles(table, scenePath, clock, files, progress, [&](platform::OutputFile& out) {
            out.write(scene::kSceneFileHead);
            const bool whole = writeEntries(table, out, progress);
            out.write(scene::kSceneFileTail);
            return whole ? std::nullopt : std::optional<ExportFailure>(stopFailure());
        });
    } catch (const std::bad_alloc&) {
        // An output not yet put in place goes with the stack.
        return outOfMemory(scenePath);
    }
}

ExportReport exportSelectionArchive(const ObjectLines& table, const std::string& archivePath,
                                    const ArchiveSource& source, const platform::Clock& clock,
                                    platform::FileSystem& files, const ExportProgressCallback& callback)
{
    try {
        Progress progress(callback, table.size());
        std::size_t assetCount = 0;
        ExportReport report = exportFiles(table, archivePath, clock, files, progress, [&](platform::OutputFile& out) {
            return writeArchive(table, archivePath, source, files, out, progress, assetCount);
        });
        if (report.sceneWritten) report.assetCount = assetCount;
        return report;
    } catch (const std::bad_alloc&) {
        return outOfMemory(archivePath);
    }
}

ExportReport saveSelection(const ObjectLines& table, const std::string& path, const std::string& sourcePath,
                           const platform::Clock& clock, platform::FileSystem& files,
                           const ExportProgressCallback& progress)
{
    if (!isArchiveName(path)) return exportSelection(table, path, clock, files, progress);
    ArchiveSource source;
    source.path = sourcePath;
    source.createdAt = clock.secondsSinceEpoch();
    return exportSelectionArchive(table, path, source, clock, files, progress);
}

bool exportReplacesInput(const std::string& scenePath, const std::string& inputPath, const platform::FileSystem& files)
{
    return files.isSameFile(scenePath, inputPath) || files.isSameFile(listingPathFor(scenePath), inputPath);
}

}  // namespace vantor::extract
