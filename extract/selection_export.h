#pragma once

#include "listing_record.h"
#include "object_lines.h"
#include "scene_archive.h"

#include "platform/clock.h"
#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::extract {

// The listing file beside a scene file or region archive: a final ".xml" or ".oar" (any letter
// case) becomes ".txt"; a name without either ending gets ".txt" added. Never the scene file
// itself, never elsewhere.
[[nodiscard]] std::string listingPathFor(std::string_view scenePath);

enum class ExportError {
    SceneFileFailed,    // the scene file could not be created or written
    ListingFileFailed,  // the listing file could not be created or written
    HeaderFailed,       // the anchor object gives no header line
    RecordFailed,       // an object gives no record
    NothingToSave,      // the table is empty: no file is written
    Stopped,            // the caller asked to stop before the files were in place: none was written
    InputChanged,       // the file the table views changed while it was read: none was written
    OutOfMemory,        // there was not memory enough to build the listing: none was written
    ObjectRefused,      // an archive: an object OpenSim's loader could not read (reason); none was written
    AssetsFailed,       // an archive: the source's assets could not be copied (path, reason); none was written
};

struct ExportFailure {
    ExportError error = ExportError::SceneFileFailed;
    std::string path;              // the file concerned (file failures)
    std::string reason;            // why, in the file system's words (file failures), or the check's (ObjectRefused)
    std::size_t objectNumber = 0;  // the object concerned, entry of the table from 1
    std::string objectName;        // its name as the listing would carry it
    RecordFailure cause;           // HeaderFailed, RecordFailed
};

struct ExportReport {
    std::string scenePath;
    std::string listingPath;
    std::size_t objectCount = 0;  // objects in the scene file
    std::size_t assetCount = 0;   // assets in the archive
    bool sceneWritten = false;    // the scene file is in place (with the listing, unless an object failed)
    std::optional<ExportFailure> failure;
    explicit operator bool() const { return !failure; }
};

// How far an export has got: the objects gone into the scene file or archive, then the records
// built for the listing, of the table's objects.
struct ExportProgress {
    std::size_t objectsWritten = 0;
    std::size_t recordsBuilt = 0;
    std::size_t objectCount = 0;
};

// Told of an export's progress between objects, and between the entries of a source archive
// read for its assets. It returns whether the export goes on: false, before the files are in
// place, ends it with nothing written (Stopped).
using ExportProgressCallback = std::function<bool(const ExportProgress&)>;

// Saves the table as a scene file at scenePath and a listing beside it. The scene file holds
// "<scene>", an empty line, every entry unchanged, an empty line and "</scene>". The listing
// holds a header line anchored on the table's last object, then two lines per object; it is
// committed only when every record was built, so a failing object leaves the complete scene
// file and no listing (an earlier listing of that name stays as it was). Otherwise both files
// go in place together, or neither when one cannot be written. An empty table writes nothing:
// a listing without a header line would not convert. Every line ends in CR LF.
// progress, when given, is told how far the export got and may stop it (ExportProgressCallback).
[[nodiscard]] ExportReport exportSelection(const ObjectLines& table, const std::string& scenePath,
                                           const platform::Clock& clock, platform::FileSystem& files,
                                           const ExportProgressCallback& progress = {});

// What a selection's archive is made from besides its objects.
struct ArchiveSource {
    // The file the table was loaded from: when it is a region archive, its assets that the
    // objects refer to go with them.
    std::string path;
    // When the archive is made, in seconds since 1970 (UTC).
    std::int64_t createdAt = 0;
};

// Saves the table as a region archive at archivePath that OpenSim's `load oar --merge`
// reads, with the listing beside it as exportSelection writes it. The archive holds the
// objects, and, when the source is an archive, every asset of the source that an object
// refers to (see AssetReferences); never terrain, settings or parcels. The source is read as
// a stream, twice: once for its assets' names, once to copy the assets wanted. Every object
// is checked as OpenSim's loader reads it: one it could not read fails the export
// (ObjectRefused) and nothing is written. Otherwise as exportSelection.
[[nodiscard]] ExportReport exportSelectionArchive(const ObjectLines& table, const std::string& archivePath,
                                                  const ArchiveSource& source, const platform::Clock& clock,
                                                  platform::FileSystem& files,
                                                  const ExportProgressCallback& progress = {});

// Saves the table under path as the name asks: a region archive (exportSelectionArchive) when
// it is an archive name (isArchiveName), carrying the assets of sourcePath when that is an
// archive and made at the clock's time; a scene file (exportSelection) otherwise.
[[nodiscard]] ExportReport saveSelection(const ObjectLines& table, const std::string& path,
                                         const std::string& sourcePath, const platform::Clock& clock,
                                         platform::FileSystem& files, const ExportProgressCallback& progress = {});

// Whether the scene file or the listing that an export to scenePath writes would replace the
// file at inputPath (the same file under another name or through a link included): the
// export would then destroy what it reads.
[[nodiscard]] bool exportReplacesInput(const std::string& scenePath, const std::string& inputPath,
                                       const platform::FileSystem& files);

}  // namespace vantor::extract
