#include "app/shell_texts.h"

#include <QString>

namespace vantor::app {

std::string removeAll(std::string text, std::string_view what)
{
    if (what.empty()) return text;
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        result.append(text, from, at - from);
        from = at + what.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::string withTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string folderOfChosenFile(const std::string& path, const std::string& title)
{
    return removeAll(removeAll(path, title), "*.txt");
}

std::string listingNameFromTitle(const std::string& title) { return removeAll(removeAll(title, ".txt"), ".TXT"); }

std::string languageList(const std::vector<std::string>& fileNames)
{
    std::string list = "(";
    for (std::size_t i = 0; i < fileNames.size(); ++i) {
        if (i != 0) list += ", ";
        const std::string& name = fileNames[i];
        list.append(name, 0, name.size() >= 4 ? name.size() - 4 : 0);
    }
    return list + ")";
}

std::string languagePrompt(const std::vector<std::string>& fileNames)
{
    return std::string("Please type your language below.") + kCrLf + "Veuillez saisir votre langue ci-dessous." +
           kCrLf + kCrLf + languageList(fileNames);
}

std::string languageFileName(const std::string& answer)
{
    return QString::fromStdString(answer).toUpper().toStdString() + ".lng";
}

std::string noLanguageFileMessage(const std::string& folder)
{
    return "No language file (*.lng) was found in " + folder + ". Vantor cannot start." + kCrLf +
           "Aucun fichier de langue (*.lng) n'a été trouvé dans " + folder + ". Vantor ne peut pas démarrer.";
}

std::string unreadableLanguageMessage(const std::string& fileName, const std::string& reason)
{
    return "The language file " + fileName + " cannot be read (" + reason + "); the current language stays." +
           kCrLf + "Le fichier de langue " + fileName + " ne peut pas être lu (" + reason +
           ") ; la langue actuelle est conservée.";
}

std::string overwriteQuestion(const LanguageTable& texts)
{
    return texts.entry(entry::kOverwriteLine1) + kCrLf + texts.entry(entry::kOverwriteLine2);
}

std::optional<std::string> conversionMessage(const LanguageTable& texts, const convert::ConversionReport& report)
{
    using convert::ConversionOutcome;
    switch (report.outcome) {
    case ConversionOutcome::Cancelled:
        return std::nullopt;
    case ConversionOutcome::Done:
    case ConversionOutcome::GuardStop:
        return texts.entry(entry::kDoneBeforeName) + report.listingName + texts.entry(entry::kDoneAfterName);
    case ConversionOutcome::ConversionError:
        return texts.entry(entry::kConversionErrorLine1) + kCrLf + kCrLf + texts.entry(entry::kConversionErrorLine2) +
               kCrLf + report.failingRecordText;
    case ConversionOutcome::RecordTooShort:
        return texts.entry(entry::kTooShortLine1) + kCrLf + texts.entry(entry::kTooShortLine2);
    case ConversionOutcome::OutputFailed:
        // No language file carries this message, so it is said in both languages of the program.
        return "The file " + report.failedPath + " could not be written: " + report.failureReason +
               ". Nothing was written." + kCrLf + "Le fichier " + report.failedPath +
               " n'a pas pu être écrit : " + report.failureReason + ". Rien n'a été écrit.";
    }
    return std::nullopt;
}

std::string versionLine(int revision) { return "Vantor V6.0." + std::to_string(revision); }

}  // namespace vantor::app
