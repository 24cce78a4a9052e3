#include "app/language_step.h"

#include "app/settings_keys.h"
#include "app/shell_texts.h"
#include "language/language_table.h"

namespace vantor::app {

namespace entry = language::entry;
using language::builtInEnglish;
using language::readLanguageFile;

LanguageStepResult settleLanguage(platform::SettingsStore& settings, const platform::FileSystem& files,
                                  platform::InputBox& input, const std::string& programFolder)
{
    while (true) {
        const std::string saved = settings.read(settings::kSection, settings::kLanguage, "");
        if (!saved.empty()) {
            if (files.exists(programFolder + "/" + saved)) return {LanguageStepEnd::Chosen, saved};
            settings.write(settings::kSection, settings::kLanguage, "");
            continue;
        }
        const auto available = files.listFiles(programFolder, ".lng");
        if (available.empty()) return {LanguageStepEnd::NoLanguageFile, {}};

        std::vector<std::string> promptLines;
        std::vector<std::string> titleWords;
        for (const std::string& name : available) {
            const auto texts = readLanguageFile(files, programFolder, name);
            if (!texts) continue;
            promptLines.push_back(texts->entry(entry::kLanguageBoxPrompt));
            titleWords.push_back(texts->entry(entry::kLanguageBoxTitleWord));
        }
        if (promptLines.empty()) {
            promptLines.push_back(builtInEnglish().entry(entry::kLanguageBoxPrompt));
            titleWords.push_back(builtInEnglish().entry(entry::kLanguageBoxTitleWord));
        }
        const auto answer =
            input.ask(languagePrompt(available, promptLines), languageBoxTitle(titleWords), kLanguageBoxDefault);
        if (!answer) return {LanguageStepEnd::Cancelled, {}};
        const std::string name = languageFileName(*answer);
        if (files.exists(programFolder + "/" + name)) {
            settings.write(settings::kSection, settings::kLanguage, name);
            return {LanguageStepEnd::Chosen, name};
        }
    }
}

}  // namespace vantor::app
