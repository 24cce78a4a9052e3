#include "language/language_folder.h"

#include <string_view>
#include <vector>

namespace vantor::language {

namespace {

// A data folder as a path: taken from programFolder when relative, with "." and ".." folded
// away as text (the program folder comes without symbolic links) and no final "/".
std::string dataFolderPath(const std::string& programFolder, const std::string& dataFolder)
{
    const std::string joined = dataFolder.starts_with('/') ? dataFolder : programFolder + "/" + dataFolder;
    const bool absolute = joined.starts_with('/');
    std::vector<std::string_view> parts;
    for (std::size_t begin = 0; begin <= joined.size();) {
        std::size_t end = joined.find('/', begin);
        if (end == std::string::npos) end = joined.size();
        const std::string_view part = std::string_view(joined).substr(begin, end - begin);
        begin = end + 1;
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            parts.push_back(part);
        } else if (!parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (!absolute) {
            parts.push_back(part);
        }
    }
    std::string path = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) path += '/';
        path += parts[i];
    }
    return path.empty() ? "." : path;
}

}  // namespace

std::string chooseLanguageFolder(const platform::FileSystem& files, const std::string& programFolder,
                                 std::span<const std::string> dataFolders)
{
    if (!files.listFiles(programFolder, ".lng").empty()) return programFolder;
    for (const auto& dataFolder : dataFolders) {
        if (dataFolder.empty()) continue;
        const std::string folder = dataFolderPath(programFolder, dataFolder);
        if (!files.listFiles(folder, ".lng").empty()) return folder;
    }
    return programFolder;
}

}  // namespace vantor::language
