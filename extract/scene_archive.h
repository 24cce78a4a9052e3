#pragma once

#include "scene_load.h"

#include "platform/file_system.h"

#include <memory>
#include <string>
#include <string_view>

namespace vantor::extract {

// Whether bytes begin as a compressed or plain tar archive does, rather than as text.
[[nodiscard]] bool looksLikeArchive(std::string_view bytes);

// Loads an OpenSim region archive (OAR): a gzip-compressed tar whose objects/*.xml entries
// hold one object each. The objects come in the order of the archive's entries; archive.xml,
// terrain, assets and settings are skipped. Each object is read and placed as a scene file's
// object is. Bytes that are not such an archive give ReadError::NotAnArchive, with the reason.
// The objects' texts are kept in scratch (in memory when none is given): a large archive's
// unpacked objects are many times its size.
[[nodiscard]] SceneLoad loadSceneArchive(std::string_view bytes, const MapGeometry& map = {},
                                         std::unique_ptr<platform::ScratchFile> scratch = nullptr);

// Reads the file at path and loads it as an archive when its name ends in ".oar" (any letter
// case) or its bytes begin as an archive's, else as a scene file (loadSceneBytes). An
// archive's objects go to a scratch file of the file system.
[[nodiscard]] SceneLoad loadScenePath(const platform::FileSystem& files, const std::string& path,
                                      const MapGeometry& map = {});

}  // namespace vantor::extract
