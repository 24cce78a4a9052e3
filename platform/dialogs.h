#pragma once

#include <optional>
#include <string>

namespace vantor::platform {

// What a file dialog is opened with. The filter pairs a description and a pattern joined by
// "|" ("Files txt(*.txt)|*.txt"); proposedName may carry a wildcard ("*.txt").
struct FileDialogRequest {
    std::string title;
    std::string folder;        // where the dialog opens
    std::string proposedName;  // the name it proposes in that folder
    std::string filter;
    bool confirmOverwrite = false;  // save dialogs: ask before replacing an existing file
};

// The file the user chose: its full path and its title (the name without the folder).
struct ChosenFile {
    std::string path;
    std::string title;
    friend bool operator==(const ChosenFile&, const ChosenFile&) = default;
};

// The platform's common file dialogs; nothing when the user cancels.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    [[nodiscard]] virtual std::optional<ChosenFile> openFile(const FileDialogRequest& request) = 0;
    [[nodiscard]] virtual std::optional<ChosenFile> saveFile(const FileDialogRequest& request) = 0;
    // Chooses an existing folder, opening in request.folder (request.filter and proposedName
    // are not used); the folder's path and its name. Where there is no such dialog it is
    // as if the user cancelled.
    [[nodiscard]] virtual std::optional<ChosenFile> chooseFolder(const FileDialogRequest& /*request*/)
    {
        return std::nullopt;
    }
};

}  // namespace vantor::platform
