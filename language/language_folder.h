#pragma once

#include "platform/file_system.h"

#include <span>
#include <string>

namespace vantor::language {

// The folder whose language files the program uses: the executable's own folder when it
// holds any "*.lng" file, else the first data folder that does, else the executable's folder
// (which then holds none, and the start-up says so). A relative data folder is taken from the
// executable's folder, so that an installed tree still finds its files after being moved.
[[nodiscard]] std::string chooseLanguageFolder(const platform::FileSystem& files, const std::string& programFolder,
                                               std::span<const std::string> dataFolders);

}  // namespace vantor::language
