#pragma once

#include "scene_load.h"

#include "platform/file_system.h"
#include "scene/scene_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::extract {

using scene::kLargestObjectBytes;

// Whether a file named path is a region archive by its name: it ends in ".oar" (any letter
// case). A load reads such a file as an archive, and a selection saved under such a name is one
// (under any other name, a scene file).
[[nodiscard]] bool isArchiveName(std::string_view path);

// Whether bytes begin as a compressed or plain tar archive does, rather than as text.
[[nodiscard]] bool looksLikeArchive(std::string_view bytes);

// Loads an OpenSim region archive (OAR): a gzip-compressed tar whose objects/*.xml entries
// hold one object each. The objects come in the order of the archive's entries; archive.xml,
// terrain, assets and settings are skipped. Each object is read and placed as a scene file's
// object is. Bytes that are not such an archive give LoadError::NotAnArchive, with the reason.
// The archive is read as a stream and each object is unpacked alone, so memory holds the
// largest object and the table; an object larger than kLargestObjectBytes is refused. The
// objects' texts are kept in scratch (in memory when none is given), which may refuse them
// when its disk runs short: a large archive's unpacked objects are many times its size.
[[nodiscard]] SceneLoad loadSceneArchive(platform::InputStream& archive, const MapGeometry& map = {},
                                         std::unique_ptr<platform::ScratchFile> scratch = nullptr);
// The same for an archive held in memory.
[[nodiscard]] SceneLoad loadSceneArchive(std::string_view bytes, const MapGeometry& map = {},
                                         std::unique_ptr<platform::ScratchFile> scratch = nullptr);

// Loads the file at path: as an archive, read as a stream, when its name ends in ".oar" (any
// letter case) or its bytes begin as an archive's, else as a scene file (loadSceneBytes). An
// archive's objects go to a scratch file of the file system. Running out of memory is a read
// error (OutOfMemory), not an exception.
[[nodiscard]] SceneLoad loadScenePath(const platform::FileSystem& files, const std::string& path,
                                      const MapGeometry& map = {});

// Whether loadScenePath reads the file at path as an archive: its name ends in ".oar" (any
// letter case) or its bytes begin as an archive's. False for a file that cannot be read.
[[nodiscard]] bool readsAsArchive(const platform::FileSystem& files, const std::string& path);

// One plain file entry of an archive as readArchiveEntries meets it: its path as stored, the
// size its header gives, and its bytes as a stream that ends where the entry ends.
struct ArchiveEntry {
    std::string_view path;
    std::uint64_t size = 0;
    platform::InputStream& bytes;
};

// Reads a gzip-compressed (or plain) tar archive entry by entry and hands each plain file
// entry to onEntry, which may read its bytes or leave them; onEntry returns false to end the
// reading early. Only one entry's piece is in memory at a time. Nothing when the archive was
// read to its end (or onEntry ended it), else the reader's reason; a stream that changed
// while it was read says so through its changed().
[[nodiscard]] std::optional<std::string> readArchiveEntries(platform::InputStream& archive,
                                                            const std::function<bool(ArchiveEntry&)>& onEntry);

}  // namespace vantor::extract
