#pragma once

#include "language/language_table.h"

#include <string>

namespace vantor::app {

inline constexpr const char* kOffline = "Offline";

// The program-wide values shared by the windows, one instance per program run, owned by
// the start-up and handed to the windows by reference.
struct Session {
    std::string programFolder;           // the executable's folder, no trailing separator
    std::string languageFolder;          // where the *.lng files were found, no trailing separator
    std::string lastFolder;              // folder of the last listing or scene file loaded
    std::string listingName;             // proposed output name; empty at start
    std::string publicAddress = kOffline;
    language::LanguageTable language;
    std::string languageName;            // the language file currently loaded, e.g. FR.lng
};

}  // namespace vantor::app
