#include "language/language_folder.h"

#include <filesystem>

namespace vantor::language {

std::string chooseLanguageFolder(const platform::FileSystem& files, const std::string& programFolder,
                                 std::span<const std::string> dataFolders)
{
    if (!files.listFiles(programFolder, ".lng").empty()) return programFolder;
    for (const auto& dataFolder : dataFolders) {
        if (dataFolder.empty()) continue;
        // Joined and folded as text only (path's lexical operations touch no disk); the program
        // folder comes without symbolic links, so ".." may be folded away.
        std::filesystem::path folder(dataFolder);
        if (folder.is_relative()) folder = std::filesystem::path(programFolder) / folder;
        std::string text = folder.lexically_normal().generic_string();
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        if (!files.listFiles(text, ".lng").empty()) return text;
    }
    return programFolder;
}

}  // namespace vantor::language
