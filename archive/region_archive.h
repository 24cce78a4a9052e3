#pragma once

#include "entry_names.h"
#include "gnu_tar_writer.h"
#include "object_check.h"

#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::archive {

// The most bytes an asset may hold: OpenSim's tar reader reads an entry's size into a signed
// 32-bit number.
inline constexpr std::uint64_t kLargestAssetBytes = (std::uint64_t{1} << 31) - 1;

// One object of a region archive.
struct ArchiveObject {
    std::string_view document;  // one SceneObjectGroup element (see checkObject), UTF-8
    ObjectIdentity identity;    // what its entry is named after (see objectEntryName, describeObject)
};

struct ArchiveOptions {
    // When the archive was made, in seconds since 1970 (UTC): archive.xml and every entry carry it.
    std::int64_t createdAt = 0;
    // Whether the archive carries assets: archive.xml says so, and only then does it take any.
    bool withAssets = false;
};

enum class ArchiveError {
    ObjectRefused,      // an object OpenSim's loader could not read (fault and reason say why)
    NoObjects,          // no object: loaded without --merge, such an archive would only empty the region
    AssetRefused,       // an asset whose UUID is no UUID, whose type has no suffix, or that is larger than kLargestAssetBytes
    AssetsNotDeclared,  // an asset for an archive made without assets (ArchiveOptions::withAssets)
    AssetUnreadable,    // the asset's bytes could not be read (reason)
    AssetSizeWrong,     // the asset's bytes were more or fewer than its size
    OutputFailed,       // the archive could not be created or written (path, reason)
    OutOfMemory,        // there was not memory enough to check or write an object
};

struct ArchiveFailure {
    ArchiveError error = ArchiveError::OutputFailed;
    std::size_t objectNumber = 0;                    // ObjectRefused: the object, from 1 in the order given
    std::string objectName;                          // ObjectRefused: its name
    ObjectFault fault = ObjectFault::NotWellFormed;  // ObjectRefused
    std::string assetUuid;                           // the asset errors: the asset concerned
    std::string path;                                // OutputFailed: the archive's path, where known
    std::string reason;                              // what was found, in the words of the check, stream or file system
};

struct ArchiveReport {
    std::size_t objectCount = 0;  // objects written
    std::size_t assetCount = 0;   // assets written
    std::optional<ArchiveFailure> failure;
    explicit operator bool() const { return !failure; }
};

// Writes a region archive that OpenSim's `load oar` (with or without --merge) reads: a
// gzip-compressed GNU tar holding archive.xml first (version 0.8, one region of 256 by 256
// metres), then one entry per object (objectEntryName) holding its document without a byte
// order mark, then the assets (assetEntryName). No terrain, region settings or parcels: the
// region keeps its own. The writer holds one object and one piece of an asset at a time.
//
// The first failure ends the archive: every later call returns it. The output file then
// holds a broken archive, and the caller drops it (so that nothing is left) instead of
// committing it. Callers that must leave nothing behind when an object fails check them all
// (checkObject) before they create the output file.
class RegionArchiveWriter {
public:
    // Begins the archive in out with its archive.xml. out must outlive the writer; the writer
    // neither prepares nor commits it.
    RegionArchiveWriter(platform::OutputFile& out, const ArchiveOptions& options);
    ~RegionArchiveWriter();

    RegionArchiveWriter(const RegionArchiveWriter&) = delete;
    RegionArchiveWriter& operator=(const RegionArchiveWriter&) = delete;

    // Checks the object (checkObject) and writes its entry; a refused object writes nothing.
    [[nodiscard]] const ArchiveReport& addObject(const ArchiveObject& object);
    // Copies an asset of size bytes from data, a piece at a time; data must then be at its end.
    [[nodiscard]] const ArchiveReport& addAsset(const AssetName& asset, std::uint64_t size, platform::InputStream& data);
    // Ends the archive: its last bytes go to the output file, which the caller then commits.
    // An archive without objects fails (NoObjects).
    [[nodiscard]] const ArchiveReport& finish();

    [[nodiscard]] const ArchiveReport& report() const { return m_report; }

private:
    const ArchiveReport& writeObject(const ArchiveObject& object);
    const ArchiveReport& fail(ArchiveFailure failure);
    const ArchiveReport& failOutput();
    const ArchiveReport& failAsset(ArchiveError error, const AssetName& asset, std::string reason);

    ArchiveOptions m_options;
    GnuTarWriter m_tar;
    ArchiveReport m_report;
    std::size_t m_objectsGiven = 0;
    bool m_finished = false;
    std::unique_ptr<char[]> m_block;  // a piece of an asset
};

}  // namespace vantor::archive
