#pragma once

#include "scene_load.h"

#include "platform/file_system.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vantor::extract {

// The most bytes an archive's object may unpack to. Real objects, linksets of hundreds of
// parts with their task inventories included, stay far below it; an archive that holds a
// larger one, or says it does, is refused (an archive bomb).
inline constexpr std::size_t kLargestObjectBytes = std::size_t{64} << 20;

// Whether bytes begin as a compressed or plain tar archive does, rather than as text.
[[nodiscard]] bool looksLikeArchive(std::string_view bytes);

// Loads an OpenSim region archive (OAR): a gzip-compressed tar whose objects/*.xml entries
// hold one object each. The objects come in the order of the archive's entries; archive.xml,
// terrain, assets and settings are skipped. Each object is read and placed as a scene file's
// object is. Bytes that are not such an archive give ReadError::NotAnArchive, with the reason.
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

}  // namespace vantor::extract
