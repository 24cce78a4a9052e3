#include "app/language_folder.h"

namespace vantor::app {

std::string chooseLanguageFolder(const platform::FileSystem& files, const std::string& programFolder,
                                 const std::string& dataFolder)
{
    if (!files.listFiles(programFolder, ".lng").empty()) return programFolder;
    if (!dataFolder.empty() && !files.listFiles(dataFolder, ".lng").empty()) return dataFolder;
    return programFolder;
}

}  // namespace vantor::app
