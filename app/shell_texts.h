#pragma once

#include "convert/conversion_run.h"
#include "language/language_table.h"

#include <optional>
#include <string>
#include <vector>

namespace vantor::app {

inline constexpr const char* kCrLf = "\r\n";
inline constexpr const char* kLanguageBoxDefault = "FR";
inline constexpr const char* kOpenSimLibrary = "OpenSim.dll";
inline constexpr const char* kOpenSimExecutable = "OpenSim.exe";
inline constexpr const char* kPlaceholderListingName = "défaut";

// The file dialogs' filters: the language's description, then the pattern ("Files txt(*.txt)|*.txt").
[[nodiscard]] std::string listingFilter(const language::LanguageTable& texts);
// OpenSim.exe; on .NET, where current OpenSim releases run, OpenSim.dll may stand without it.
[[nodiscard]] std::string openSimFilter(const language::LanguageTable& texts);

// The folder text with the platform's separator "/" at its end (added when missing).
[[nodiscard]] std::string withTrailingSeparator(std::string folder);

// The folder of a chosen file: its full name without every occurrence of its title and
// then of "*.txt"; it keeps the separator before the name.
[[nodiscard]] std::string folderOfChosenFile(const std::string& path, const std::string& title);

// The list of the start-up's language box: "(EN, FR)" for EN.lng and FR.lng.
[[nodiscard]] std::string languageList(const std::vector<std::string>& fileNames);

// The language box asks before any language is chosen, so it speaks every language at hand:
// each of the languages' texts once, in the order given (texts of the program's folder's
// language files, the built-in English for a file that lacks one).
// The prompt: one line per language, a blank line and the list.
[[nodiscard]] std::string languagePrompt(const std::vector<std::string>& fileNames,
                                         const std::vector<std::string>& promptLines);
// The title: "Vantor - " and the word for language in each language, joined by " / ".
[[nodiscard]] std::string languageBoxTitle(const std::vector<std::string>& words);

// The language file an answer names: the answer in upper case followed by ".lng".
[[nodiscard]] std::string languageFileName(const std::string& answer);

// Said when the program's folder holds no language file, and the program ends.
[[nodiscard]] std::string noLanguageFileMessage(const std::string& folder);

// Said when a language file cannot be read; the language in use stays.
[[nodiscard]] std::string unreadableLanguageMessage(const std::string& fileName, const std::string& reason);

// The question before replacing an existing scene file.
[[nodiscard]] std::string overwriteQuestion(const language::LanguageTable& texts);

// What the window says when a value of the request is one no run can take, naming it.
[[nodiscard]] std::string invalidFieldMessage(const language::LanguageTable& texts, convert::RequestField field,
                                              const convert::ConversionRequest& request);

// What the window says after a conversion run of request; nothing when the run was cancelled.
// A record is shown by its first characters only (text::messageExcerpt).
[[nodiscard]] std::optional<std::string> conversionMessage(const language::LanguageTable& texts,
                                                           const convert::ConversionReport& report,
                                                           const convert::ConversionRequest& request);

// A language text with "%1", "%2", ... replaced by the values in order; a number without a
// value stays as it is.
[[nodiscard]] std::string fillIn(const std::string& text, const std::vector<std::string>& values);

// A listing name without its final ".xml", as the name question proposes it.
[[nodiscard]] std::string withoutXmlExtension(std::string name);

// The About window's version line: "Vantor V", the project's major and minor version, and
// the revision ("Vantor V6.0.2").
[[nodiscard]] std::string versionLine(int revision);

}  // namespace vantor::app
