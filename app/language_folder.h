#pragma once

#include "platform/file_system.h"

#include <string>

namespace vantor::app {

// The folder whose language files the program uses: the executable's own folder when it
// holds any "*.lng" file, else the installed data folder when that does, else the
// executable's folder (which then holds none, and the start-up says so).
[[nodiscard]] std::string chooseLanguageFolder(const platform::FileSystem& files, const std::string& programFolder,
                                               const std::string& dataFolder);

}  // namespace vantor::app
