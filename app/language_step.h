#pragma once

#include "platform/file_system.h"
#include "platform/input_box.h"
#include "platform/settings_store.h"

#include <string>

namespace vantor::app {

enum class LanguageStepEnd {
    Chosen,          // fileName names a language file of the program's folder
    Cancelled,       // the user cancelled the language box: the program ends
    NoLanguageFile,  // the folder holds no language file at all: the program ends
};

struct LanguageStepResult {
    LanguageStepEnd end = LanguageStepEnd::Cancelled;
    std::string fileName;
    friend bool operator==(const LanguageStepResult&, const LanguageStepResult&) = default;
};

// Settles the interface language at start-up: the saved "Langue" when its file is still
// there (a stale one is forgotten), else the language box, asked again until the typed
// name (upper-cased, ".lng" appended) names a file of programFolder. The accepted name is saved.
[[nodiscard]] LanguageStepResult settleLanguage(platform::SettingsStore& settings, const platform::FileSystem& files,
                                                platform::InputBox& input, const std::string& programFolder);

}  // namespace vantor::app
